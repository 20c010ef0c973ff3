// The framework on the NULL backend: where each kind of container puts its
// children, mouse and keyboard through the real input path (hit test, then
// mouse and key messages), posted messages, timers and the message loop, and
// the window painted into memory cut to its region.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "duilib/UIlib.h"
#include "tests/duilib/png_pixels.h"
#include "tests/support/test_env.h"

namespace {

using namespace DuiLib;
using duitest::readPng;

// A window built as the installer builds its own (layout loaded in WM_CREATE,
// default handling through the paint manager), recording into a trace that
// outlives it: the window deletes itself.
struct WindowTrace {
    std::vector<std::string> notes;               // "click agree checked=0"
    std::vector<std::pair<UINT, WPARAM>> posted;  // WM_TIMER, WM_DESTROY and WM_USER + n
    bool finalMessage = false;
};

constexpr UINT kThrowingMessage = WM_USER + 99;

class TestWindow : public CWindowWnd, public INotifyUI {
  public:
    TestWindow(const char* layout, WindowTrace& trace) : m_layout(layout), m_trace(trace) {}
    const char* m_layout;
    WindowTrace& m_trace;
    CPaintManagerUI m_pm;
    LRESULT m_hitTest = 0;  // the answer to WM_NCHITTEST; 0 leaves it to default handling

    POINT centerOf(const std::string& name) {
        RECT rc = m_pm.FindControl(name.c_str())->GetPos();
        return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    }

    void Notify(TNotifyUI& msg) override {
        std::string note = msg.sType.str() + " " + msg.pSender->GetName().str();
        if (auto* box = dynamic_cast<CCheckBoxUI*>(msg.pSender)) {
            note += box->GetCheck() ? " checked=1" : " checked=0";
        }
        m_trace.notes.push_back(note);
    }

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_CREATE) {
            m_pm.Init(m_hWnd);
            m_pm.AttachDialog(CDialogBuilder().Create(m_layout, 0u, nullptr, &m_pm));
            m_pm.AddNotifier(this);
            return 0;
        }
        if (msg == kThrowingMessage) {
            throw std::runtime_error("a fault in window code");
        }
        if (msg == WM_TIMER || msg == WM_DESTROY || msg >= WM_USER) {
            m_trace.posted.emplace_back(msg, wParam);
        }
        if (msg == WM_NCHITTEST && m_hitTest) {
            return m_hitTest;
        }
        LRESULT result = 0;
        return m_pm.MessageHandler(msg, wParam, lParam, result)
                   ? result
                   : CWindowWnd::HandleMessage(msg, wParam, lParam);
    }

  protected:
    const char* GetWindowClassName() const override { return "TestWindow"; }
    void OnFinalMessage(HWND) override {
        m_trace.finalMessage = true;
        delete this;
    }
};

inline TestWindow* openWindow(const char* layout, WindowTrace& trace) {
    UseNullBackend();
    auto* window = new TestWindow(layout, trace);
    window->Create(nullptr, "test", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0);
    return window;
}

// "name=left,top,right,bottom " for every shown control with a name, depth first.
void describe(CControlUI* c, std::ostringstream& text) {
    const RECT& rc = c->GetPos();
    if (!c->GetName().IsEmpty() && c->IsVisibleOnScreen()) {
        text << c->GetName().str() << "=" << rc.left << "," << rc.top << "," << rc.right << ","
             << rc.bottom << " ";
    }
    for (int i = 0; i < c->GetCount(); ++i) {
        describe(c->GetItemAt(i), text);
    }
}

TEST(Layout, ContainersPlaceTheirChildren) {
    // Inside <Window size="200,100">: where that places the controls, then
    // "@x,y=" and the control a point reaches.
    const std::pair<const char*, const char*> rows[] = {
        // Fixed sizes first, the rest shared, the odd pixel to the last; hidden take no room.
        {"<VerticalLayout><Control name='a' height='21'/><Control name='b'/><Control name='c'/>"
         "<Control name='gone' visible='false' height='50'/></VerticalLayout>",
         "a=0,0,200,21 b=0,21,200,60 c=0,60,200,100 @100,99=c"},
        // Inset and gaps; a fixed height across the line stays at the top.
        {"<HorizontalLayout name='r' inset='5,6,7,8' childpadding='4'><Control name='a' "
         "width='30'/><Control name='b'/><Control name='c' height='10'/></HorizontalLayout>",
         "r=0,0,200,100 a=5,6,35,92 b=39,6,114,92 c=118,6,193,16 @116,50=r"},
        // Padding takes room along the line and narrows the child across it.
        {"<VerticalLayout name='r'><Control name='a' height='20' padding='1,2,3,4'/>"
         "<Control name='b' width='50'/></VerticalLayout>",
         "r=0,0,200,100 a=1,2,197,22 b=0,26,50,100 @100,24=r"},
        // Float: placed from the parent's corner, outside the line, on top.
        {"<VerticalLayout inset='10,10,10,10'><Control name='a'/>"
         "<Control name='f' float='true' pos='5,6,25,36'/></VerticalLayout>",
         "a=10,10,190,90 f=5,6,25,36 @15,15=f"},
        // A plain container overlaps its children; fixed sizes from the top left.
        {"<Container name='r' inset='2,2,2,2'><Control name='a'/>"
         "<Control name='b' width='10' height='20' padding='3,4,0,0'/></Container>",
         "r=0,0,200,100 a=2,2,198,98 b=5,6,15,26 @199,99=r"},
        {"<TabLayout selectedid='0'><Control name='p0'/><Control name='p1'/></TabLayout>",
         "p0=0,0,200,100 @50,50=p0"},
        // Found by fuzzing: sizes beyond any screen made the layout's sums overflow.
        {"<VerticalLayout inset='1,2,3,4' childpadding='5'><Control name='a' height='2222222240'/>"
         "<Control name='b' height='2222222240'/><Control name='c' height='-99999999999'/>"
         "<Control name='d'/></VerticalLayout>",
         "a=1,2,197,32769 b=1,32774,197,65541 c=1,65546,197,65546 d=1,65551,197,65551 @-1,5=none"},
    };
    for (const auto& [inner, placed] : rows) {
        CPaintManagerUI manager;
        std::string xml = std::string("<Window size='200,100'>") + inner + "</Window>";
        ASSERT_TRUE(
            manager.AttachDialog(CDialogBuilder().Create(xml.c_str(), 0u, nullptr, &manager)));
        std::ostringstream text;
        describe(manager.GetRoot(), text);
        int x = 0;
        int y = 0;
        std::sscanf(std::strchr(placed, '@'), "@%d,%d", &x, &y);
        CControlUI* hit = manager.FindControl(POINT{x, y});
        text << "@" << x << "," << y << "=" << (hit ? hit->GetName().str() : "none");
        EXPECT_EQ(text.str(), placed) << inner;
    }
    for (const char* xml : {"", "<Window>", "<Window><Bogus/></Window>", "<Window></Window>",
                            "missing.xml", "/no/such/dir/main.xml"}) {
        EXPECT_EQ(CDialogBuilder().Create(xml), nullptr) << "unreadable: " << xml;
    }
}

const char* const kLayout = R"(<Window size="300,200"><VerticalLayout>
  <HorizontalLayout height="30"><Label name="title"/><Button name="close" width="30" cancel="true"/>
  </HorizontalLayout>
  <TabLayout name="tabs">
    <VerticalLayout><CheckBox name="agree" height="20"/><Button name="ok" height="40" default="true"/>
      <Button name="off" height="20" enabled="false"/><Label name="label" height="20"/>
      <Button name="more" height="20"/></VerticalLayout>
    <VerticalLayout><Control/><Button name="back" height="25"/>
      <Button name="go" height="25" default="true"/></VerticalLayout>
  </TabLayout>
</VerticalLayout></Window>)";

// One step of a person at the window: a key ("tab", "shift+tab", "space",
// "enter", "esc"), "click:a", "drag:a>b" (press on a, let go over b),
// "page:n", or "caption" (the hit test answers HTCAPTION from then on).
void perform(TestWindow& w, const std::string& step) {
    static const std::map<std::string, UINT> keys = {{"tab", VK_TAB},
                                                     {"shift+tab", VK_TAB},
                                                     {"space", VK_SPACE},
                                                     {"enter", VK_RETURN},
                                                     {"esc", VK_ESCAPE}};
    size_t colon = step.find(':');
    std::string verb = step.substr(0, colon);
    std::string arg = colon == std::string::npos ? "" : step.substr(colon + 1);
    if (keys.count(verb)) {
        SimulateKey(w.GetHWND(), keys.at(verb), verb == "shift+tab");
    } else if (verb == "click") {
        SimulateClick(w.GetHWND(), w.centerOf(arg));
    } else if (verb == "drag") {
        POINT down = w.centerOf(arg.substr(0, arg.find('>')));
        POINT up = w.centerOf(arg.substr(arg.find('>') + 1));
        SendMessage(w.GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(down.x, down.y));
        SendMessage(w.GetHWND(), WM_LBUTTONUP, 0, MAKELPARAM(up.x, up.y));
    } else if (verb == "page") {
        dynamic_cast<CTabLayoutUI*>(w.m_pm.FindControl("tabs"))->SelectItem(std::stoi(arg), false);
    } else if (verb == "caption") {
        w.m_hitTest = HTCAPTION;
    } else {
        ADD_FAILURE() << "no such step: " << step;
    }
}

TEST(Input, StepsGiveTheirNotificationsAndFocus) {
    testsupport::TempEnvironment env;
    // The notifications joined by "; ", then "@" and the focused control.
    const std::pair<const char*, const char*> rows[] = {
        // Disabled, not a button, on a hidden page: no click.
        {"click:off click:label click:title click:back", ""},
        {"drag:ok>more", ""},
        {"caption click:ok", ""},  // the press drags the window instead
        // The walk skips what is disabled or takes no focus, and wraps both ways.
        {"tab tab tab tab tab", "@close"},
        {"shift+tab", "@more"},
        {"tab tab tab shift+tab", "@agree"},
        // The check box reports the press with its old state, then toggles.
        {"tab tab space", "click agree checked=0; selectchanged agree checked=1 @agree"},
        {"tab enter", "click close @close"},
        {"space", ""},
        {"enter", "click ok"},  // nothing focused: the default button
        {"esc", "click close"},
        // A click ends the keyboard walk: Enter is the default button's again.
        {"tab tab click:more enter", "click more; click ok"},
        // The focus leaves with its page; Enter follows the shown page.
        {"tab tab page:1", ""},
        {"tab tab page:1 tab tab", "@back"},
        {"page:1 enter", "click go"},
    };
    for (const auto& [steps, expected] : rows) {
        WindowTrace trace;
        TestWindow* window = openWindow(kLayout, trace);
        std::istringstream words(steps);
        for (std::string step; words >> step;) {
            perform(*window, step);
        }
        std::string seen;
        for (const std::string& note : trace.notes) {
            seen += (seen.empty() ? "" : "; ") + note;
        }
        if (CControlUI* focus = window->m_pm.GetFocus()) {
            seen += (seen.empty() ? "@" : " @") + focus->GetName().str();
        }
        EXPECT_EQ(seen, expected) << steps;
        DestroyWindow(window->GetHWND());
    }
}

int g_ticks = 0;

// Posts from other threads keep each thread's order; the message loop runs
// timers and posts until a quit; closing goes through the queue, after which
// nothing reaches the window.
TEST(WindowLayer, PostsTimersTheLoopAndThePictureOfAWindow) {
    testsupport::TempEnvironment env;
    WindowTrace trace;
    TestWindow* window = openWindow("<Window size='200,100'><Button/></Window>", trace);
    HWND hWnd = window->GetHWND();
    const WPARAM perThread = 500;
    std::vector<std::thread> posters;
    for (UINT t = 0; t < 4; ++t) {
        posters.emplace_back([hWnd, t] {
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
    // Window code that throws loses that one message, never the process.
    PostMessage(hWnd, kThrowingMessage, 0, 0);
    EXPECT_EQ(PumpMessages(), 1);
    EXPECT_TRUE(IsWindow(hWnd));

    trace.posted.clear();
    SetTimer(hWnd, 7, 5);  // a message each time
    SetTimer(hWnd, 8, 5, [](HWND timerWindow, UINT, UINT_PTR id, DWORD) {
        if (++g_ticks == 3) {
            KillTimer(timerWindow, id);
            KillTimer(timerWindow, 7);
            PostQuitMessage(5);
        }
    });
    std::thread([hWnd] { PostMessage(hWnd, WM_USER + 2, 0, 0); }).join();
    EXPECT_EQ(CPaintManagerUI::MessageLoop(), 5);
    EXPECT_EQ(g_ticks, 3);
    ASSERT_FALSE(trace.posted.empty());
    EXPECT_EQ(trace.posted.front(), std::make_pair(WM_USER + 2, WPARAM{0}));
    EXPECT_EQ(trace.posted.back(), std::make_pair(WM_TIMER, WPARAM{7}));

    trace.posted.clear();
    window->Close(IDOK);
    PostMessage(hWnd, WM_USER + 1, 0, 0);
    SetTimer(hWnd, 1, 10);
    EXPECT_TRUE(IsWindow(hWnd)) << "closing goes through the queue";
    EXPECT_EQ(PumpMessages(), 1);  // WM_CLOSE; the message behind it is dropped
    EXPECT_TRUE(trace.finalMessage);
    EXPECT_EQ(trace.posted, (std::vector<std::pair<UINT, WPARAM>>{{WM_DESTROY, 0}}));
    EXPECT_FALSE(PostMessage(hWnd, WM_USER + 2, 0, 0));
    EXPECT_FALSE(FireTimer(hWnd, 1));
    // A new window with the installer's real skin: the renderer's own picture,
    // cut to a region given by reversed corners and a negative ellipse.
    CPaintManagerUI::SetResourcePath(HOBNAR_SKIN_DIR);
    HWND skinned = openWindow("main.xml", trace)->GetHWND();
    EXPECT_NE(skinned, hWnd) << "a dead handle never names a new window";
    ASSERT_EQ(SetWindowRgn(skinned, CreateRoundRectRgn(601, 401, 0, 0, -16, 16), TRUE), 1);
    std::string png = env.root + "/window.png";
    ASSERT_TRUE(CaptureWindowPng(skinned, png.c_str()));
    DestroyWindow(skinned);
    // Cut corners, the white page, the start button.
    EXPECT_EQ(readPng(png, {{0, 0}, {599, 399}, {300, 320}, {210, 272}}),
              (std::vector<uint32_t>{600, 400, 0, 0, 0xFFFFFFFF, 0xFFFF4F4F}));
}

}  // namespace
