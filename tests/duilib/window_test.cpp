// The window layer on the NULL backend: posted messages (from other threads,
// and to windows that are gone), timers in the message loop, and the window
// painted into memory cut to its region.
#include <gtest/gtest.h>

#include <thread>

#include "tests/duilib/png_pixels.h"
#include "tests/duilib/test_window.h"
#include "tests/support/test_env.h"

namespace {

using namespace duitest;

// A small window that records what reaches it; it ends with the test.
class WindowTest : public testsupport::IsolatedTest {
  protected:
    void TearDown() override { DestroyWindow(hWnd); }
    WindowTrace trace;
    TestWindow* window = openWindow("<Window size='200,100'><Button/></Window>", trace);
    HWND hWnd = window->GetHWND();
};

TEST_F(WindowTest, PostedMessagesKeepEachThreadsOrder) {
    const WPARAM perThread = 500;
    std::vector<std::thread> posters;
    for (UINT t = 0; t < 4; ++t) {
        posters.emplace_back([this, t] {
            for (WPARAM i = 0; i < perThread; ++i) {
                PostMessage(hWnd, WM_USER + t, i, 0);
            }
        });
    }
    for (std::thread& poster : posters) {
        poster.join();
    }
    EXPECT_TRUE(trace.posted.empty()) << "nothing before the pump";
    EXPECT_EQ(PumpMessages(), static_cast<int>(4 * perThread));
    std::vector<WPARAM> next(4, 0);
    for (const auto& m : trace.posted) {
        ASSERT_EQ(m.second, next[m.first - WM_USER]++);
    }
}

TEST_F(WindowTest, NothingReachesADestroyedWindow) {
    window->Close(IDOK);
    PostMessage(hWnd, WM_USER + 1, 0, 0);
    SetTimer(hWnd, 1, 10);
    EXPECT_TRUE(IsWindow(hWnd)) << "closing goes through the queue";
    EXPECT_EQ(PumpMessages(), 1);  // WM_CLOSE; the message behind it is dropped
    EXPECT_TRUE(trace.finalMessage);
    EXPECT_EQ(trace.posted, (std::vector<std::pair<UINT, WPARAM>>{{WM_DESTROY, 0}}));
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_FALSE(PostMessage(hWnd, WM_USER + 2, 0, 0));
    EXPECT_FALSE(FireTimer(hWnd, 1));

    WindowTrace otherTrace;
    TestWindow* other = openWindow("<Window><Button/></Window>", otherTrace);
    EXPECT_NE(other->GetHWND(), hWnd) << "a dead handle never names a new window";
    DestroyWindow(other->GetHWND());
}

int g_ticks = 0;

TEST_F(WindowTest, MessageLoopRunsTimersAndPostsUntilQuit) {
    g_ticks = 0;
    SetTimer(hWnd, 7, 5);  // a message each time
    SetTimer(hWnd, 8, 5, [](HWND timerWindow, UINT, UINT_PTR id, DWORD) {
        if (++g_ticks == 3) {
            KillTimer(timerWindow, id);
            KillTimer(timerWindow, 7);
            PostQuitMessage(5);
        }
    });
    std::thread([this] { PostMessage(hWnd, WM_USER + 2, 0, 0); }).join();
    EXPECT_EQ(CPaintManagerUI::MessageLoop(), 5);
    EXPECT_EQ(g_ticks, 3);
    ASSERT_FALSE(trace.posted.empty());
    EXPECT_EQ(trace.posted.front(), std::make_pair(WM_USER + 2, WPARAM{0}));
    EXPECT_EQ(trace.posted.back(), std::make_pair(WM_TIMER, WPARAM{7}));
    EXPECT_FALSE(FireTimer(hWnd, 7));
}

// The installer's real skin, without a display: the renderer's own picture.
TEST(WindowPicture, PaintsIntoMemoryCutToTheRegion) {
    testsupport::TempEnvironment env;
    WindowTrace trace;
    CPaintManagerUI::SetResourcePath(HOBNAR_SKIN_DIR);
    HWND hWnd = openWindow("main.xml", trace)->GetHWND();
    // Reversed corners and a negative ellipse describe the same region.
    ASSERT_EQ(SetWindowRgn(hWnd, CreateRoundRectRgn(601, 401, 0, 0, -16, 16), TRUE), 1);
    std::string png = env.root + "/window.png";
    ASSERT_TRUE(CaptureWindowPng(hWnd, png.c_str()));
    DestroyWindow(hWnd);
    // Cut corners, the white page, the start button.
    EXPECT_EQ(readPng(png, {{0, 0}, {599, 399}, {300, 320}, {210, 272}}),
              (std::vector<uint32_t>{600, 400, 0, 0, 0xFFFFFFFF, 0xFFFF4F4F}));
}

}  // namespace
