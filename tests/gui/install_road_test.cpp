// Whole installations through the window: a RAR package made now, served by
// the real backend, downloaded, unpacked, registered and started; a damaged
// package ending on the failure page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/gui/gui_session.h"

using namespace guitest;
using testsupport::readFile;

namespace {

constexpr const char* kProductKey = "SOFTWARE\\ZorozAvuzado";

using Installation = GuiTest;

TEST_F(Installation, WholeRoadFromStartButtonToTheRunningProduct) {
    // The watcher that must not see the second run's window sees this one.
    MapWatcher firstRun;
    ASSERT_TRUE(firstRun.ready);
    ASSERT_NO_FATAL_FAILURE(startInstaller(packProduct()));
    EXPECT_TRUE(firstRun.sawMap());

    ASSERT_TRUE(click(window, at::kStartButton));
    ASSERT_TRUE(waitForPage(window, Page::Finished, 60)) << installerLog();
    EXPECT_TRUE(saveScreenshot(window, "page3-finished.png"));
    const std::string exe = productFolder() + "/hobnarAudio.exe";
    EXPECT_EQ(registryValue(kProductKey, "DisplayPath"), programPath(exe));
    EXPECT_TRUE(shortcutStarts(exe)) << shortcutPath();
    EXPECT_EQ(events(), (std::vector<std::string>{"pc_show_install", "pc_click_install",
                                                  "pc_Installing", "pc_install_success"}));
    EXPECT_FALSE(platform::fileExists(marker()));

    ASSERT_TRUE(pressKeys(windowId, {"Return"}));
    ASSERT_NO_FATAL_FAILURE(expectInstallerExitsWithZero());
    EXPECT_TRUE(waitUntil([&] { return readFile(marker()) == "started\n"; }, 10));
    EXPECT_EQ(events().back(), "pc_click_use");

    // A second run finds the product installed: it starts it and leaves
    // without a window and without reaching the backend.
    size_t eventsBefore = events().size();
    MapWatcher secondRun;
    ASSERT_TRUE(secondRun.ready);
    runInstaller();
    ASSERT_NO_FATAL_FAILURE(expectInstallerExitsWithZero());
    EXPECT_TRUE(waitUntil([&] { return readFile(marker()) == "started\nstarted\n"; }, 10))
        << readFile(marker());
    EXPECT_FALSE(secondRun.sawMap()) << "the second run mapped a window";
    EXPECT_EQ(events().size(), eventsBefore);
}

// A package that is no RAR archive downloads fine but cannot be unpacked:
// the failure page, nothing registered, no success reported.
TEST_F(Installation, DamagedPackageEndsOnTheFailurePage) {
    std::string damaged = env.root + "/damaged.rar";
    testsupport::writeFile(damaged, std::string(64 * 1024, 'x') + "Rar!\x1a\x07");
    ASSERT_NO_FATAL_FAILURE(startInstaller(damaged));

    ASSERT_TRUE(click(window, at::kStartButton));
    ASSERT_TRUE(waitForPage(window, Page::Failed, 60)) << installerLog();
    EXPECT_TRUE(saveScreenshot(window, "page4-failed.png"));
    EXPECT_EQ(registryValue(kProductKey, "DisplayPath"), std::nullopt);
    EXPECT_FALSE(platform::fileExists(shortcutPath()));
    EXPECT_EQ(events(),
              (std::vector<std::string>{"pc_show_install", "pc_click_install", "pc_Installing"}));

    ASSERT_TRUE(click(window, at::kFailCloseButton));
    ASSERT_NO_FATAL_FAILURE(expectInstallerExitsWithZero());
    EXPECT_EQ(events().back(), "pc_close_install");
}

}  // namespace
