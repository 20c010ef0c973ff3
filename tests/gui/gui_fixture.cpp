#include "tests/gui/gui_fixture.h"

namespace guitest {

void GuiTest::SetUp() {
    for (const char* program : {"Xvfb", "xdotool", "xev", "xprop", "rar"}) {
        if (!onPath(program)) {
            GTEST_SKIP() << program << " is not installed";
        }
    }
    xvfb = std::make_unique<XvfbSession>();
    ASSERT_FALSE(xvfb->display.empty()) << xvfb->log();
}

std::string GuiTest::packProduct(const std::vector<PackageFile>& files) {
    std::string archive = env.root + "/package.rar";
    EXPECT_TRUE(makeRarPackage(archive, files));
    return archive;
}

void GuiTest::startInstaller(const std::string& package, const std::vector<std::string>& options) {
    backend = std::make_unique<Backend>(package, options);
    ASSERT_TRUE(backend->listening) << backend->log();
    installer = std::make_unique<Installer>();
    windowId = findWindow(30);
    ASSERT_FALSE(windowId.empty()) << installer->log();
    ASSERT_TRUE(windowGeometry(windowId, window));
    // The window is shown first and centred afterwards; wait for the
    // position to settle before anyone clicks at it.
    Geometry previous;
    waitUntil(
        [&] {
            previous = window;
            return windowGeometry(windowId, window) && window.x == previous.x &&
                   window.y == previous.y;
        },
        5, 200);
    Page seen = Page::Unknown;
    ASSERT_TRUE(waitForPage(window, Page::Start, 15, &seen)) << pageName(seen);
}

void GuiTest::expectInstallerExitsWithZero() {
    ASSERT_TRUE(installer);
    EXPECT_EQ(installer->process().wait(30), 0) << installer->log();
}

}  // namespace guitest
