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
        EXPECT_EQ(events(), expected);
        EXPECT_FALSE(platform::fileExists(marker())) << "the product must not start";
        EXPECT_EQ(registryValue("SOFTWARE\\ZorozAvuzado", "DisplayPath"), std::nullopt);
    }
};

// The caption strip drags the window from its label, while the close button
// lying in the same strip stays a button.
TEST_F(InstallerWindow, IsTitledSizedCutAtTheCornersWorkedByKeysAndDragged) {
    // Some bulk, so that the custom page shows a package size of a few MB.
    ASSERT_NO_FATAL_FAILURE(startInstaller(packProduct(2500 * 1000)));
    EXPECT_EQ(window.width, 600);
    EXPECT_EQ(window.height, 400);
    Capture shot(window);
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

    // Shift+Tab first goes to the last button, the custom install link; Tab
    // wraps from there to the first and Shift+Tab back.
    ASSERT_TRUE(pressKeys(windowId, {"shift+Tab", "Tab", "shift+Tab", "space"}));
    ASSERT_TRUE(waitForPage(window, Page::CustomInstall, 10));
    EXPECT_TRUE(saveScreenshot(window, "page1-custom-install.png"));
    ASSERT_TRUE(click(window, at::kBackButton));
    ASSERT_TRUE(waitForPage(window, Page::Start, 10));

    Geometry before = window;
    ASSERT_TRUE(drag(window, at::kTitleLabel, Point{at::kTitleLabel.x + 120, 60}));
    EXPECT_TRUE(waitUntil(
        [&] { return windowGeometry(windowId, window) && window.x == before.x + 120; }, 10));
    EXPECT_EQ(window.y, before.y + 40);
    ASSERT_TRUE(click(window, at::kCloseButton));
    expectClosedWith({"pc_show_install", "pc_install_custom", "pc_close_install"});
}

// Over a capped link the installing page stays up while its bar grows; Esc
// then ends the process at once, with nothing registered.
TEST_F(InstallerWindow, EnterStartsTheInstallationAndEscEndsItMidway) {
    ASSERT_NO_FATAL_FAILURE(
        startInstaller(packProduct(3 * 1000 * 1000), {"--bandwidth", "300000"}));
    ASSERT_TRUE(pressKeys(windowId, {"Return"}));
    ASSERT_TRUE(waitForPage(window, Page::Installing, 20)) << installerLog();
    // A quarter of the bar or more makes a telling screenshot.
    EXPECT_TRUE(waitUntil(
        [&] {
            Capture shot(window);
            return progressWidth(shot) >= 126 && pageShown(shot) == Page::Installing;
        },
        40))
        << installerLog();
    EXPECT_TRUE(saveScreenshot(window, "page2-installing.png"));

    ASSERT_TRUE(pressKeys(windowId, {"Escape"}));
    expectClosedWith({"pc_show_install", "pc_click_install", "pc_Installing", "pc_close_install"});
}

}  // namespace
