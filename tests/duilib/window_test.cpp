// The window layer on the NULL backend: creation, styles and rectangles,
// timers, posted messages (also from other threads and to dead windows),
// closing, and the caption hit test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/duilib/test_window.h"
#include "tests/support/test_env.h"

namespace {

using namespace duitest;

const char* const kLayout = R"(
<Window size="200,100" caption="0,0,0,20">
  <VerticalLayout>
    <Label name="caption" height="20" />
    <Button name="button" />
  </VerticalLayout>
</Window>)";

class WindowTest : public testsupport::IsolatedTest {
  protected:
    void SetUp() override {
        window = openWindow(kLayout, trace);
        hWnd = window->GetHWND();
    }
    void TearDown() override { DestroyWindow(hWnd); }

    std::vector<UINT> userMessages() const {
        std::vector<UINT> seen;
        for (const Received& r : trace.messages) {
            if (r.msg >= WM_USER) {
                seen.push_back(static_cast<UINT>(r.msg - WM_USER));
            }
        }
        return seen;
    }

    WindowTrace trace;
    TestWindow* window = nullptr;
    HWND hWnd = nullptr;
};

TEST_F(WindowTest, StylesAndRectangles) {
    DWORD style = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE));
    EXPECT_EQ(style, WS_VISIBLE | WS_OVERLAPPEDWINDOW);
    EXPECT_EQ(static_cast<DWORD>(SetWindowLongA(hWnd, GWL_STYLE, WS_VISIBLE)), style);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE)), static_cast<DWORD>(WS_VISIBLE));

    window->CenterWindow();
    RECT rc;
    ASSERT_TRUE(GetWindowRect(hWnd, &rc));
    EXPECT_EQ(rc.left, (1920 - 200) / 2);
    EXPECT_EQ(rc.right - rc.left, 200);
    RECT client;
    ASSERT_TRUE(GetClientRect(hWnd, &client));
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 100);
    POINT pt{rc.left + 7, rc.top + 9};
    ASSERT_TRUE(ScreenToClient(hWnd, &pt));
    EXPECT_EQ(pt.x, 7);
    EXPECT_EQ(pt.y, 9);
}

TEST_F(WindowTest, TimersTickUntilKilled) {
    EXPECT_EQ(SetTimer(hWnd, 1, 2000), 1u);
    EXPECT_TRUE(IsTimerRunning(hWnd, 1));
    EXPECT_FALSE(FireTimer(hWnd, 2));
    EXPECT_TRUE(FireTimer(hWnd, 1));
    EXPECT_TRUE(FireTimer(hWnd, 1));
    ASSERT_EQ(trace.messages.back().msg, WM_TIMER);
    EXPECT_EQ(trace.messages.back().wParam, 1u);

    static int procCalls;
    procCalls = 0;
    SetTimer(hWnd, 5, 10, [](HWND, UINT msg, UINT_PTR id, DWORD) {
        procCalls += (msg == WM_TIMER && id == 5) ? 1 : 100;
    });
    size_t before = trace.messages.size();
    EXPECT_TRUE(FireTimer(hWnd, 5));
    EXPECT_EQ(procCalls, 1);
    EXPECT_EQ(trace.messages.size(), before);  // the procedure, not a message

    EXPECT_TRUE(KillTimer(hWnd, 1));
    EXPECT_FALSE(KillTimer(hWnd, 1));
    EXPECT_FALSE(FireTimer(hWnd, 1));
    EXPECT_EQ(SetTimer(nullptr, 1, 10), 0u);
}

TEST_F(WindowTest, PostedMessagesArriveInOrderFromEveryThread) {
    for (UINT i = 0; i < 5; ++i) {
        EXPECT_TRUE(PostMessage(hWnd, WM_USER + i, i, 0));
    }
    EXPECT_TRUE(userMessages().empty());  // nothing before the pump
    EXPECT_EQ(PumpMessages(), 5);
    EXPECT_EQ(userMessages(), (std::vector<UINT>{0, 1, 2, 3, 4}));

    // Four threads, each posting its own numbered run: every run keeps its order.
    trace.messages.clear();
    const UINT perThread = 500;
    std::vector<std::thread> posters;
    for (UINT t = 0; t < 4; ++t) {
        posters.emplace_back([this, t] {
            for (UINT i = 0; i < perThread; ++i) {
                PostMessage(hWnd, WM_USER + t, i, 0);
            }
        });
    }
    for (std::thread& poster : posters) {
        poster.join();
    }
    EXPECT_EQ(PumpMessages(), static_cast<int>(4 * perThread));
    std::vector<WPARAM> next(4, 0);
    for (const Received& r : trace.messages) {
        ASSERT_EQ(r.wParam, next[r.msg - WM_USER]);
        ++next[r.msg - WM_USER];
    }
    EXPECT_EQ(next, std::vector<WPARAM>(4, perThread));
}

TEST_F(WindowTest, MessageLoopRunsTimersAndPostsUntilQuit) {
    int ticks = 0;
    window->m_onMessage = [&ticks](TestWindow& w, UINT msg, WPARAM) {
        if (msg == WM_TIMER && ++ticks == 3) {
            KillTimer(w.GetHWND(), 7);
            w.PostMessage(WM_USER + 1);
        } else if (msg == WM_USER + 1) {
            PostQuitMessage(5);
        }
    };
    SetTimer(hWnd, 7, 5);
    std::thread poster([this] { PostMessage(hWnd, WM_USER + 2, 0, 0); });
    poster.join();
    EXPECT_EQ(CPaintManagerUI::MessageLoop(), 5);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(userMessages(), (std::vector<UINT>{2, 1}));
}

TEST_F(WindowTest, CloseDestroysThroughTheQueue) {
    window->Close(IDOK);
    EXPECT_TRUE(IsWindow(hWnd));  // posted, not yet handled
    PumpMessages();
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_TRUE(trace.finalMessage);
    EXPECT_EQ(trace.messages.back().msg, WM_DESTROY);
}

TEST_F(WindowTest, MessagesToADestroyedWindowAreDropped) {
    PostMessage(hWnd, WM_USER + 1, 0, 0);
    SetTimer(hWnd, 1, 10);
    ASSERT_TRUE(DestroyWindow(hWnd));
    EXPECT_TRUE(trace.finalMessage);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_TRUE(userMessages().empty());
    EXPECT_FALSE(PostMessage(hWnd, WM_USER + 2, 0, 0));
    EXPECT_FALSE(FireTimer(hWnd, 1));
    EXPECT_FALSE(DestroyWindow(hWnd));

    // A new window never reuses the dead handle.
    WindowTrace otherTrace;
    TestWindow* other = openWindow(kLayout, otherTrace);
    EXPECT_NE(other->GetHWND(), hWnd);
    DestroyWindow(other->GetHWND());
}

TEST_F(WindowTest, PostingThreadRacesTheWindowsEnd) {
    std::atomic<int> accepted{0};
    std::atomic<bool> started{false};
    std::thread poster([&] {
        for (WPARAM i = 0;; ++i) {
            if (!PostMessage(hWnd, WM_USER, i, 0)) {
                return;  // the window is gone: posts are refused from now on
            }
            ++accepted;
            started = true;
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    });
    while (!started) {
        std::this_thread::yield();
    }
    int delivered = 0;
    for (int round = 0; round < 3; ++round) {
        delivered += PumpMessages();
    }
    DestroyWindow(hWnd);
    delivered += PumpMessages();
    poster.join();
    EXPECT_TRUE(trace.finalMessage);
    EXPECT_LE(delivered, accepted.load());
    // Nothing arrived after WM_DESTROY, and what arrived kept its order.
    ASSERT_EQ(trace.messages.back().msg, WM_DESTROY);
    WPARAM expected = 0;
    for (const Received& r : trace.messages) {
        if (r.msg == WM_USER) {
            ASSERT_EQ(r.wParam, expected++);
        }
    }
}

TEST_F(WindowTest, CaptionHitTestDecidesBetweenDragAndClick) {
    POINT button = window->centerOf("button");
    window->m_hitTest = HTCAPTION;
    SimulateClick(hWnd, button);
    EXPECT_TRUE(trace.notes.empty());
    for (const Received& r : trace.messages) {
        EXPECT_NE(r.msg, WM_LBUTTONDOWN);
    }
    window->m_hitTest = 0;  // default handling answers HTCLIENT
    SimulateClick(hWnd, button);
    EXPECT_EQ(trace.notes, std::vector<std::string>{"click button"});
}

}  // namespace
