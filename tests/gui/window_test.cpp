// The installer's window as a user meets it: real X input on the real
// program, talking to the real backend, on a private Xvfb display.  The
// cases also write the screenshots of the pages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/gui/gui_session.h"

using namespace guitest;

namespace {

class InstallerWindow : public GuiTest {
  protected:
    void expectClosedWith(const std::vector<std::string>& expected) {
        ASSERT_NO_FATAL_FAILURE(expectInstallerExitsWithZero());
        EXPECT_FALSE(windowExists(windowId));
        EXPECT_EQ(events(), expected);
        EXPECT_FALSE(platform::fileExists(marker())) << "the product must not start";
        EXPECT_EQ(registryValue("SOFTWARE\\ZorozAvuzado", "DisplayPath"), std::nullopt);
    }
};

TEST_F(InstallerWindow, IsTitledSizedCutAtTheCornersAndWorkedByKeys) {
    // Some bulk, so that the custom page shows a package size of a few MB.
    ASSERT_NO_FATAL_FAILURE(startInstaller(packProduct(2500 * 1000)));
    EXPECT_EQ(window.width, 600);
    EXPECT_EQ(window.height, 400);
    EXPECT_EQ(events(), std::vector<std::string>{"pc_show_install"});

    Capture shot("window.png", window);
    ASSERT_TRUE(shot.ok());
    // The black root shows through the four cut corners; just inside them,
    // and along the edges, the window itself is drawn.
    for (Point corner : {Point{0, 0}, Point{599, 0}, Point{0, 399}, Point{599, 399}}) {
        EXPECT_TRUE(near(shot.at(corner.x, corner.y), Rgb{0, 0, 0}, 0))
            << "corner " << corner.x << "," << corner.y;
    }
    for (Point point : {Point{8, 8}, Point{591, 8}, Point{8, 391}, Point{591, 391}, Point{300, 0},
                        Point{0, 200}}) {
        Rgb pixel = shot.at(point.x, point.y);
        EXPECT_GT(pixel.r + pixel.g + pixel.b, 3 * 150) << point.x << "," << point.y;
    }
    EXPECT_TRUE(saveScreenshot(window, "page0-start.png"));

    // Shift+Tab walks back to the last button, the custom install link, and
    // Space presses it; after a click on the back button Esc closes.
    ASSERT_TRUE(pressKey(windowId, "shift+Tab") && pressKey(windowId, "space"));
    ASSERT_TRUE(waitForPage(window, Page::CustomInstall, 10));
    EXPECT_TRUE(saveScreenshot(window, "page1-custom-install.png"));
    ASSERT_TRUE(click(window, at::kBackButton));
    ASSERT_TRUE(waitForPage(window, Page::Start, 10));
    ASSERT_TRUE(pressKey(windowId, "Escape"));
    expectClosedWith({"pc_show_install", "pc_install_custom", "pc_close_install"});
}

// The caption strip drags the window from its label, while the close button
// lying in the same strip stays a button.
TEST_F(InstallerWindow, TitleLabelDragsAndCloseButtonCloses) {
    ASSERT_NO_FATAL_FAILURE(startInstaller(packProduct()));
    Geometry before = window;
    ASSERT_TRUE(drag(window, at::kTitleLabel, Point{at::kTitleLabel.x + 120, 60}));
    Geometry after;
    EXPECT_TRUE(waitUntil(
        [&] { return windowGeometry(windowId, after) && after.x == before.x + 120; }, 10));
    EXPECT_EQ(after.y, before.y + 40);
    EXPECT_EQ(after.width, 600);
    EXPECT_TRUE(installer->process().running()) << "a drag is no click";

    ASSERT_TRUE(click(after, at::kCloseButton));
    expectClosedWith({"pc_show_install", "pc_close_install"});
}

// Over a capped link the installing page stays up while its bar grows; the
// close button then ends the process at once, with nothing registered.
TEST_F(InstallerWindow, EnterStartsTheInstallationAndCloseEndsItMidway) {
    ASSERT_NO_FATAL_FAILURE(
        startInstaller(packProduct(3 * 1000 * 1000), {"--bandwidth", "300000"}));
    ASSERT_TRUE(pressKey(windowId, "Return"));
    ASSERT_TRUE(waitForPage(window, Page::Installing, 20)) << installer->log();
    // A quarter of the bar or more makes a telling screenshot.
    EXPECT_TRUE(waitUntil(
        [&] {
            Capture shot("progress.png", window);
            return progressWidth(shot) >= 126 && pageShown(shot) == Page::Installing;
        },
        40))
        << installer->log();
    EXPECT_TRUE(saveScreenshot(window, "page2-installing.png"));

    ASSERT_TRUE(click(window, at::kCloseButton));
    expectClosedWith({"pc_show_install", "pc_click_install", "pc_Installing", "pc_close_install"});
}

}  // namespace
