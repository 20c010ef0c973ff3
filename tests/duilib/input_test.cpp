// Mouse and keyboard: which control a press reaches, the order of check-box
// notifications, focus traversal, and keys producing exactly the
// notifications clicks do.
#include <gtest/gtest.h>

#include "tests/duilib/test_window.h"
#include "tests/support/test_env.h"

namespace {

using namespace duitest;

const char* const kLayout = R"(
<Window size="300,200">
  <VerticalLayout>
    <HorizontalLayout height="30">
      <Label name="title" />
      <Button name="close" width="30" cancel="true" />
    </HorizontalLayout>
    <TabLayout name="tabs">
      <VerticalLayout name="page0">
        <CheckBox name="agree" height="20" />
        <Button name="ok" height="40" default="true" />
        <Button name="off" height="20" enabled="false" />
        <Label name="label" height="20" />
        <Button name="more" height="20" />
      </VerticalLayout>
      <VerticalLayout name="page1">
        <Control />
        <Button name="back" height="25" />
        <Button name="go" height="25" default="true" />
      </VerticalLayout>
    </TabLayout>
  </VerticalLayout>
</Window>)";

class InputTest : public testsupport::IsolatedTest {
  protected:
    void SetUp() override {
        window = openWindow(kLayout, trace);
        hWnd = window->GetHWND();
    }
    void TearDown() override { DestroyWindow(hWnd); }

    void click(const char* name) { SimulateClick(hWnd, window->centerOf(name)); }
    std::string focused() {
        CControlUI* focus = window->m_pm.GetFocus();
        return focus ? focus->GetName().str() : "";
    }

    WindowTrace trace;
    TestWindow* window = nullptr;
    HWND hWnd = nullptr;
};

using Notes = std::vector<std::string>;

TEST_F(InputTest, CheckBoxReportsTheClickBeforeItToggles) {
    click("agree");
    EXPECT_EQ(trace.notes, (Notes{"click agree checked=0", "selectchanged agree checked=1"}));
    EXPECT_TRUE(window->find<CCheckBoxUI>("agree")->GetCheck());
    trace.notes.clear();
    click("agree");
    EXPECT_EQ(trace.notes, (Notes{"click agree checked=1", "selectchanged agree checked=0"}));

    // Set from code: an event only for a real change, and only when asked.
    auto* agree = window->find<CCheckBoxUI>("agree");
    trace.notes.clear();
    agree->SetCheck(true, false);
    agree->SetCheck(true, true);
    EXPECT_TRUE(trace.notes.empty());
    agree->SetCheck(false, true);
    EXPECT_EQ(trace.notes, (Notes{"selectchanged agree checked=0"}));
}

TEST_F(InputTest, OnlyEnabledShownButtonsTakeClicks) {
    click("off");
    click("label");
    click("title");
    EXPECT_TRUE(trace.notes.empty());

    // Pressed on one control, released elsewhere: no click.
    {
        POINT ok = window->centerOf("ok");
        POINT more = window->centerOf("more");
        SendMessage(hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(ok.x, ok.y));
        SendMessage(hWnd, WM_LBUTTONUP, 0, MAKELPARAM(more.x, more.y));
    }
    EXPECT_TRUE(trace.notes.empty());

    // A button that was disabled after the layout, and one on a hidden page.
    window->find("ok")->SetEnabled(false);
    click("ok");
    EXPECT_TRUE(trace.notes.empty());
    RECT back = window->find("back")->GetPos();  // laid out while hidden, below page 0's last row
    ASSERT_GE(back.top, window->find("more")->GetPos().bottom);
    SimulateClick(hWnd, POINT{back.left + 5, back.top + 5});
    EXPECT_EQ(trace.notes, Notes{});

    window->find("ok")->SetEnabled(true);
    click("ok");
    EXPECT_EQ(trace.notes, Notes{"click ok"});
}

TEST_F(InputTest, TabWalksTheShownPageAndShiftTabWalksBack) {
    EXPECT_EQ(focused(), "");
    std::vector<std::string> forward;
    for (int i = 0; i < 5; ++i) {
        SimulateKey(hWnd, VK_TAB);
        forward.push_back(focused());
    }
    // "off" is disabled, "label" cannot take focus; the walk wraps around.
    EXPECT_EQ(forward, (Notes{"close", "agree", "ok", "more", "close"}));
    std::vector<std::string> backward;
    for (int i = 0; i < 3; ++i) {
        SimulateKey(hWnd, VK_TAB, true);
        backward.push_back(focused());
    }
    EXPECT_EQ(backward, (Notes{"more", "ok", "agree"}));

    // A click ends keyboard focus: Enter is the default button's again.
    click("more");
    EXPECT_EQ(focused(), "");
    SimulateKey(hWnd, VK_RETURN);
    EXPECT_EQ(trace.notes, (Notes{"click more", "click ok"}));
    trace.notes.clear();
    SimulateKey(hWnd, VK_TAB);
    SimulateKey(hWnd, VK_TAB);
    ASSERT_EQ(focused(), "agree");

    // The focused control leaves with its page; the walk goes on in the new one.
    window->find<CTabLayoutUI>("tabs")->SelectItem(1, false);
    EXPECT_EQ(focused(), "");
    SimulateKey(hWnd, VK_TAB);
    SimulateKey(hWnd, VK_TAB);
    EXPECT_EQ(focused(), "back");
    EXPECT_TRUE(trace.notes.empty());  // moving the focus presses nothing
}

TEST_F(InputTest, KeysPressWhatAClickWouldPress) {
    struct Row {
        std::vector<UINT> keys;  // Tabs first, then the pressing key
        const char* clicked;     // the control a click would be on, or nullptr
    };
    const Row rows[] = {
        {{VK_TAB, VK_TAB, VK_SPACE}, "agree"},
        {{VK_TAB, VK_TAB, VK_RETURN}, "agree"},
        {{VK_RETURN}, "ok"},  // nothing focused: the default button
        {{VK_TAB, VK_RETURN}, "close"},
        {{VK_ESCAPE}, "close"},
        {{VK_TAB, VK_TAB, VK_TAB, VK_TAB, VK_SPACE}, "more"},
        {{VK_SPACE}, nullptr},  // Space needs a focused control
    };
    for (const Row& row : rows) {
        WindowTrace keyTrace;
        TestWindow* byKeys = openWindow(kLayout, keyTrace);
        for (UINT key : row.keys) {
            SimulateKey(byKeys->GetHWND(), key);
        }
        WindowTrace clickTrace;
        TestWindow* byMouse = openWindow(kLayout, clickTrace);
        if (row.clicked) {
            SimulateClick(byMouse->GetHWND(), byMouse->centerOf(row.clicked));
            ASSERT_FALSE(clickTrace.notes.empty());
        }
        EXPECT_EQ(keyTrace.notes, clickTrace.notes) << (row.clicked ? row.clicked : "none");
        DestroyWindow(byKeys->GetHWND());
        DestroyWindow(byMouse->GetHWND());
    }
}

TEST_F(InputTest, EnterFollowsThePageAndSkipsDisabledDefaults) {
    window->find<CTabLayoutUI>("tabs")->SelectItem(1, false);
    SimulateKey(hWnd, VK_RETURN);
    EXPECT_EQ(trace.notes, Notes{"click go"});
    window->find("go")->SetEnabled(false);
    trace.notes.clear();
    SimulateKey(hWnd, VK_RETURN);
    EXPECT_TRUE(trace.notes.empty());
}

}  // namespace
