// The installer's window as a user meets it: real X input on the real
// program, talking to the real backend, on a private Xvfb display.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gui/gui_fixture.h"

using namespace guitest;

namespace {

class InstallerWindow : public GuiTest {
  protected:
    void SetUp() override {
        GuiTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        // Some bulk, so that the custom page shows a package size of a few MB.
        ASSERT_NO_FATAL_FAILURE(startInstaller(packProduct(productFiles(marker(), 2500 * 1000))));
    }

    void expectClosedWith(const std::vector<std::string>& events) {
        ASSERT_NO_FATAL_FAILURE(expectInstallerExitsWithZero());
        EXPECT_FALSE(windowExists(windowId));
        EXPECT_EQ(backend->events(), events);
        EXPECT_EQ(testsupport::readFile(marker()), "") << "the product must not start";
    }
};

TEST_F(InstallerWindow, IsTitledSizedAndCutAtTheCorners) {
    EXPECT_EQ(window.width, 600);
    EXPECT_EQ(window.height, 400);
    EXPECT_EQ(backend->events(), std::vector<std::string>{"pc_show_install"});

    parkPointer();
    ASSERT_TRUE(waitForPage(window, Page::Start, 10));
    Capture shot("window.png", window);
    ASSERT_TRUE(shot.ok());
    // The black root shows through the four cut corners; just inside them,
    // and along the edges, the window itself is drawn.
    const Point corners[] = {{0, 0}, {599, 0}, {0, 399}, {599, 399}};
    for (Point corner : corners) {
        EXPECT_TRUE(near(shot.at(corner.x, corner.y), Rgb{0, 0, 0}, 0))
            << "corner " << corner.x << "," << corner.y;
    }
    const Point inside[] = {{8, 8}, {591, 8}, {8, 391}, {591, 391}, {300, 0}, {0, 200}};
    for (Point point : inside) {
        Rgb pixel = shot.at(point.x, point.y);
        EXPECT_GT(pixel.r + pixel.g + pixel.b, 3 * 150) << point.x << "," << point.y;
    }
    EXPECT_FALSE(saveScreenshot(window, "page0-start.png").empty());
}

// The caption strip drags the window from its label, while the close button
// lying in the same strip stays a button.
TEST_F(InstallerWindow, TitleLabelDragsAndCloseButtonCloses) {
    Geometry before = window;
    ASSERT_TRUE(drag(window, at::kTitleLabel, Point{at::kTitleLabel.x + 120, 60}));
    Geometry after;
    EXPECT_TRUE(waitUntil(
        [&] { return windowGeometry(windowId, after) && after.x == before.x + 120; }, 10));
    EXPECT_EQ(after.x, before.x + 120);
    EXPECT_EQ(after.y, before.y + 40);
    EXPECT_EQ(after.width, 600);
    EXPECT_TRUE(installer->process().running()) << "a drag is no click";

    ASSERT_TRUE(click(after, at::kCloseButton));
    expectClosedWith({"pc_show_install", "pc_close_install"});
}

TEST_F(InstallerWindow, EnterStartsTheInstallationAndThenTheProduct) {
    ASSERT_TRUE(pressKey(windowId, "Return"));
    Page seen = Page::Unknown;
    ASSERT_TRUE(waitForPage(window, Page::Finished, 60, &seen)) << pageName(seen);
    EXPECT_EQ(backend->events(), (std::vector<std::string>{"pc_show_install", "pc_click_install",
                                                           "pc_Installing", "pc_install_success"}));

    // The finished page's default button is the one that starts the product.
    ASSERT_TRUE(pressKey(windowId, "Return"));
    ASSERT_NO_FATAL_FAILURE(expectInstallerExitsWithZero());
    EXPECT_TRUE(waitUntil([&] { return testsupport::readFile(marker()) == "started\n"; }, 10));
    EXPECT_EQ(backend->events().back(), "pc_click_use");
}

// Unchecking the agreement greys the start button out and leaves it dead for
// the mouse and for Enter; Esc still closes.  Events are sent in the order of
// the input, so a start that had happened would show before the close.
TEST_F(InstallerWindow, UncheckedAgreementKeepsTheStartButtonDead) {
    ASSERT_TRUE(click(window, at::kAgreementBox));
    parkPointer();
    EXPECT_TRUE(waitUntil(
        [&] {
            Capture shot("grey.png", window);
            return near(shot.at(at::kStartButton.x, at::kStartButton.y), Rgb{0xD8, 0xD8, 0xD8}, 2);
        },
        10));
    ASSERT_TRUE(click(window, at::kStartButton));
    ASSERT_TRUE(click(window, at::kCustomInstallLink));
    ASSERT_TRUE(pressKey(windowId, "Return"));
    ASSERT_TRUE(pressKey(windowId, "Escape"));
    expectClosedWith({"pc_show_install", "pc_close_install"});
}

TEST_F(InstallerWindow, CustomInstallPageComesAndGoes) {
    ASSERT_TRUE(click(window, at::kCustomInstallLink));
    parkPointer();
    Page seen = Page::Unknown;
    ASSERT_TRUE(waitForPage(window, Page::CustomInstall, 10, &seen)) << pageName(seen);
    EXPECT_TRUE(backend->waitForEvent("pc_install_custom", 10));
    EXPECT_FALSE(saveScreenshot(window, "page1-custom-install.png").empty());

    ASSERT_TRUE(click(window, at::kBackButton));
    parkPointer();
    EXPECT_TRUE(waitForPage(window, Page::Start, 10, &seen)) << pageName(seen);

    // Keyboard only from here: the close button is the first stop of Tab.
    ASSERT_TRUE(pressKey(windowId, "Tab"));
    ASSERT_TRUE(pressKey(windowId, "space"));
    expectClosedWith({"pc_show_install", "pc_install_custom", "pc_close_install"});
}

// Focus runs through the controls in layout order and wraps at both ends; the
// ring shows where it is, and Enter presses the focused control rather than
// the default button.
TEST_F(InstallerWindow, TabMovesTheFocusBothWaysAndEnterPressesTheFocusedOne) {
    constexpr Rgb kFocusRing{0x2F, 0x6B, 0xFF};
    constexpr Point kCustomLinkRing{493, 365};
    constexpr Point kStartButtonRing{187, 272};
    auto focusShownAt = [&](Point ring) {
        return waitUntil(
            [&] { return near(Capture("focus.png", window).at(ring.x, ring.y), kFocusRing, 4); },
            10);
    };
    parkPointer();
    ASSERT_TRUE(pressKey(windowId, "shift+Tab"));
    EXPECT_TRUE(focusShownAt(kCustomLinkRing)) << "Shift+Tab starts at the last control";
    ASSERT_TRUE(pressKey(windowId, "Tab"));  // round to the close button
    ASSERT_TRUE(pressKey(windowId, "Tab"));
    EXPECT_TRUE(focusShownAt(kStartButtonRing));
    ASSERT_TRUE(pressKey(windowId, "shift+Tab"));
    ASSERT_TRUE(pressKey(windowId, "shift+Tab"));
    EXPECT_TRUE(focusShownAt(kCustomLinkRing));

    ASSERT_TRUE(pressKey(windowId, "Return"));
    Page seen = Page::Unknown;
    EXPECT_TRUE(waitForPage(window, Page::CustomInstall, 10, &seen)) << pageName(seen);
    ASSERT_TRUE(pressKey(windowId, "Escape"));
    expectClosedWith({"pc_show_install", "pc_install_custom", "pc_close_install"});
}

}  // namespace
