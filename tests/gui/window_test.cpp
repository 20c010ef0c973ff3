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

// On a denser display (GTK's GDK_SCALE=2; Windows at 144 DPI, Wine's
// LogPixels) the window is the skin at that size, and clicks at the scaled
// places (inside its region only where that is scaled too) work its buttons
// all the way.
TEST_F(InstallerWindow, IsDrawnAtTheDisplaysScaleAndWorkedThere) {
    const int percent = kWine ? 150 : 200;
    if (kWine) {
        ASSERT_EQ(testsupport::runTool({"wine", "reg", "add", "HKCU\\Control Panel\\Desktop", "/v",
                                        "LogPixels", "/t", "REG_DWORD", "/d", "144", "/f"},
                                       60)
                      .exitCode,
                  0);
    } else {
        installerEnvironment = {"GDK_SCALE=2"};
    }
    ASSERT_NO_FATAL_FAILURE(startInstaller(packProduct()));
    EXPECT_EQ(window.width, 6 * percent);
    EXPECT_EQ(window.height, 4 * percent);
    EXPECT_TRUE(saveScreenshot(window, "page0-start-" + std::to_string(percent) + ".png"));

    ASSERT_TRUE(click(window, at::kCustomLink));
    ASSERT_TRUE(waitForPage(window, Page::CustomInstall, 10));
    ASSERT_TRUE(click(window, at::kBackButton));
    ASSERT_TRUE(waitForPage(window, Page::Start, 10));
    ASSERT_TRUE(click(window, at::kStartButton));
    ASSERT_TRUE(waitForPage(window, Page::Finished, 60)) << installerLog();
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

// The window never waits for the network: it is up and its clicks act while
// the backend hangs, while nothing listens, or while events are slow; a
// close ends the program within its sending time, after the events that
// could still be sent, in order.
struct NetworkRow {
    const char* name;
    bool listening;
    std::vector<std::string> faults;
    bool stored;  // the backend keeps the events (all four fit in the sending time)
};

void PrintTo(const NetworkRow& row, std::ostream* out) {
    *out << row.name;
}

class OnAnyNetwork : public InstallerWindow, public ::testing::WithParamInterface<NetworkRow> {};

TEST_P(OnAnyNetwork, TheWindowAnswersAndClosesAtOnce) {
    const NetworkRow& row = GetParam();
    ASSERT_NO_FATAL_FAILURE(startInstaller(row.listening ? packProduct() : "", row.faults));
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(click(window, at::kCustomLink));
        ASSERT_TRUE(waitForPage(window, Page::CustomInstall, 10)) << installerLog();
        ASSERT_TRUE(click(window, at::kBackButton));
        ASSERT_TRUE(waitForPage(window, Page::Start, 10)) << installerLog();
    }
    ASSERT_TRUE(click(window, at::kCloseButton));
    EXPECT_EQ(installer->wait(5), 0) << "the program outlived its sending time\n" << installerLog();
    const std::vector<std::string> all = {"pc_show_install", "pc_install_custom",
                                          "pc_install_custom", "pc_close_install"};
    EXPECT_EQ(backend ? events() : std::vector<std::string>(),
              row.stored ? all : std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(
    Network, OnAnyNetwork,
    ::testing::Values(NetworkRow{"TheBackendNeverAnswers", true, {"--stall", "3600"}, false},
                      NetworkRow{"NothingListens", false, {}, false},
                      NetworkRow{"EventsAreSlow",
                                 true,
                                 {"--stall", "0.3", "--stall-path", "/v1/app/operationLog/saveLog"},
                                 true}),
    [](const ::testing::TestParamInfo<NetworkRow>& row) { return std::string(row.param.name); });

}  // namespace
