// Mouse and keyboard through the real input path (hit test, then mouse and
// key messages): which control a press reaches, the check box's order of
// notifications, the focus ring's walk and the keys that press buttons.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "tests/duilib/test_window.h"
#include "tests/support/test_env.h"

namespace {

using namespace duitest;

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
// "page:n", "disable:a", or "caption" (the window's hit test answers
// HTCAPTION from then on).
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
    } else if (verb == "disable") {
        w.m_pm.FindControl(arg.c_str())->SetEnabled(false);
    } else if (verb == "caption") {
        w.m_hitTest = HTCAPTION;
    } else {
        ADD_FAILURE() << "no such step: " << step;
    }
}

class Input : public testsupport::IsolatedTest {};

TEST_F(Input, StepsGiveTheirNotificationsAndFocus) {
    const struct {
        const char* steps;
        const char* notes;  // joined by "; "
        const char* focus;
    } rows[] = {
        {"click:ok", "click ok", ""},
        // The check box reports the click with its old state, then toggles.
        {"click:agree", "click agree checked=0; selectchanged agree checked=1", ""},
        // Disabled, not a button, on a hidden page: no click.
        {"click:off click:label click:title click:back", "", ""},
        {"drag:ok>more", "", ""},
        {"caption click:ok", "", ""},  // the press drags the window instead
        // The walk skips what is disabled or takes no focus, and wraps both ways.
        {"tab tab tab tab", "", "more"},
        {"tab tab tab tab tab", "", "close"},
        {"shift+tab", "", "more"},
        {"tab tab tab shift+tab", "", "agree"},
        {"tab tab space", "click agree checked=0; selectchanged agree checked=1", "agree"},
        {"tab tab enter", "click agree checked=0; selectchanged agree checked=1", "agree"},
        {"tab enter", "click close", "close"},
        {"space", "", ""},
        {"enter", "click ok", ""},  // nothing focused: the default button
        {"esc", "click close", ""},
        // A click ends the keyboard walk: Enter is the default button's again.
        {"tab tab click:more enter", "click more; click ok", ""},
        // The focus leaves with its page; Enter follows the shown page.
        {"tab tab page:1", "", ""},
        {"tab tab page:1 tab tab", "", "back"},
        {"page:1 enter", "click go", ""},
        {"page:1 disable:go enter", "", ""},
    };
    for (const auto& row : rows) {
        WindowTrace trace;
        TestWindow* window = openWindow(kLayout, trace);
        std::istringstream steps(row.steps);
        for (std::string step; steps >> step;) {
            perform(*window, step);
        }
        std::string notes;
        for (const std::string& note : trace.notes) {
            notes += (notes.empty() ? "" : "; ") + note;
        }
        CControlUI* focus = window->m_pm.GetFocus();
        EXPECT_EQ(notes, row.notes) << row.steps;
        EXPECT_EQ(focus ? focus->GetName().str() : "", row.focus) << row.steps;
        DestroyWindow(window->GetHWND());
    }
}

}  // namespace
