// Layout files: parsing, positions, lookups by name and point, tabs and
// progress ranges.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/duilib/test_window.h"
#include "tests/support/test_env.h"

namespace {

using namespace duitest;

// 300 x 200; page 0 is laid out as 10,40 .. 290,190 with 5 pixels between rows.
const char* const kLayout = R"(
<Window size="300,200" caption="0,0,0,30" roundcorner="10,6">
  <VerticalLayout name="root">
    <HorizontalLayout name="bar" height="30">
      <Label name="title" text="标题" />
      <Button name="close" width="30" cancel="true" />
    </HorizontalLayout>
    <TabLayout name="tabs" selectedid="0">
      <VerticalLayout name="page0" inset="10,10,10,10" childpadding="5">
        <CheckBox name="agree" height="20" text="我已阅读并同意" />
        <Button name="ok" height="40" default="true" />
        <Button name="off" height="20" enabled="false" />
        <Control name="fill" />
        <Progress name="meter" height="10" min="10" max="50" value="20" />
      </VerticalLayout>
      <VerticalLayout name="page1">
        <Button name="back" height="30" />
        <Text name="note" text="说明" />
      </VerticalLayout>
    </TabLayout>
    <Control name="floating" float="true" pos="250,150,290,190" />
  </VerticalLayout>
</Window>)";

class LayoutTest : public testsupport::IsolatedTest {
  protected:
    void SetUp() override { window = openWindow(kLayout, trace); }
    void TearDown() override { DestroyWindow(window->GetHWND()); }

    WindowTrace trace;
    TestWindow* window = nullptr;
};

TEST_F(LayoutTest, WindowElementGivesSizeCaptionAndCorners) {
    const RECT& caption = window->m_pm.GetCaptionRect();
    EXPECT_EQ(caption.bottom, 30);
    EXPECT_EQ(caption.left + caption.top + caption.right, 0);
    EXPECT_EQ(window->m_pm.GetRoundCorner().cx, 10);
    EXPECT_EQ(window->m_pm.GetRoundCorner().cy, 6);
    RECT rc;
    ASSERT_TRUE(GetWindowRect(window->GetHWND(), &rc));
    EXPECT_EQ(rc.right - rc.left, 300);
    EXPECT_EQ(rc.bottom - rc.top, 200);
    ASSERT_FALSE(trace.messages.empty());
    EXPECT_EQ(trace.messages.back().msg, WM_SIZE);
    EXPECT_EQ(trace.messages.back().lParam, MAKELPARAM(300, 200));
}

TEST_F(LayoutTest, FindsTheTopmostControlAtAPoint) {
    const struct {
        POINT pt;
        const char* name;  // nullptr: nothing there
    } rows[] = {
        {{5, 5}, "title"},    {{285, 10}, "close"}, {{100, 50}, "agree"},     {{100, 80}, "ok"},
        {{100, 62}, "page0"}, {{100, 150}, "fill"}, {{260, 160}, "floating"}, {{100, 185}, "meter"},
        {{5, 100}, "page0"},  {{-1, 5}, nullptr},   {{300, 199}, nullptr},    {{299, 199}, "page0"},
    };
    for (const auto& row : rows) {
        CControlUI* found = window->m_pm.FindControl(row.pt);
        if (!row.name) {
            EXPECT_EQ(found, nullptr) << row.pt.x << "," << row.pt.y;
        } else {
            ASSERT_NE(found, nullptr) << row.pt.x << "," << row.pt.y;
            EXPECT_EQ(found->GetName(), row.name) << row.pt.x << "," << row.pt.y;
        }
    }
    EXPECT_STREQ(window->find("meter")->GetClass(), "Progress");
    EXPECT_STREQ(window->find("note")->GetText(), "说明");
    EXPECT_EQ(window->m_pm.FindControl("nosuchcontrol"), nullptr);
    EXPECT_EQ(window->m_pm.FindControl(static_cast<const char*>(nullptr)), nullptr);
    RECT fill = window->find("fill")->GetPos();
    EXPECT_EQ(fill.top, 135);
    EXPECT_EQ(fill.bottom, 175);
    EXPECT_EQ(fill.left, 10);
    EXPECT_EQ(fill.right, 290);
}

TEST_F(LayoutTest, TabShowsOnePageAndReportsRealChanges) {
    auto* tabs = window->find<CTabLayoutUI>("tabs");
    EXPECT_EQ(tabs->GetCurSel(), 0);
    EXPECT_FALSE(window->find("page1")->IsVisible());
    EXPECT_FALSE(window->find("back")->IsVisibleOnScreen());

    EXPECT_FALSE(tabs->SelectItem(2, true));
    EXPECT_FALSE(tabs->SelectItem(-1, true));
    EXPECT_TRUE(tabs->SelectItem(0, true));  // already shown: no event
    EXPECT_TRUE(trace.notes.empty());

    EXPECT_TRUE(tabs->SelectItem(1, true));
    EXPECT_EQ(tabs->GetCurSel(), 1);
    ASSERT_EQ(trace.notes, std::vector<std::string>{"selectchanged tabs"});
    EXPECT_TRUE(window->find("back")->IsVisibleOnScreen());
    EXPECT_FALSE(window->find("ok")->IsVisibleOnScreen());
    EXPECT_EQ(window->m_pm.FindControl(POINT{100, 45})->GetName(), "back");

    EXPECT_TRUE(tabs->SelectItem(0, false));
    EXPECT_EQ(trace.notes.size(), 1u);
    EXPECT_EQ(window->m_pm.FindControl(POINT{100, 50})->GetName(), "agree");
}

TEST_F(LayoutTest, ProgressKeepsItsValueInTheLayoutsRange) {
    auto* meter = window->find<CProgressUI>("meter");
    EXPECT_EQ(meter->GetMinValue(), 10);
    EXPECT_EQ(meter->GetMaxValue(), 50);
    EXPECT_EQ(meter->GetValue(), 20);
    const struct {
        int set, expected;
    } rows[] = {{37, 37}, {10, 10}, {50, 50}, {51, 50}, {100, 50}, {9, 10}, {-5, 10}};
    for (const auto& row : rows) {
        meter->SetValue(row.set);
        EXPECT_EQ(meter->GetValue(), row.expected) << row.set;
    }
}

TEST(LayoutAttributes, Colours) {
    const struct {
        const char* text;
        DWORD argb;
    } colours[] = {{"#FFFF4F4F", 0xFFFF4F4F},
                   {"0x80112233", 0x80112233},
                   {"#112233", 0xFF112233},
                   {"#00000000", 0x00000000},
                   {"nonsense", 0}};
    for (const auto& row : colours) {
        CControlUI control;
        control.SetAttribute("bkcolor", row.text);
        EXPECT_EQ(control.GetBkColor(), row.argb) << row.text;
    }
}

TEST(LayoutFiles, UnreadableLayoutsGiveNoTree) {
    CDialogBuilder builder;
    for (const char* xml : {"", "<Window>", "<Window><Bogus/></Window>", "<Window></Window>",
                            "missing.xml", "/no/such/dir/main.xml"}) {
        EXPECT_EQ(builder.Create(xml), nullptr) << xml;
    }
    // An unknown kind inside a container is skipped; its siblings stay.
    CControlUI* root = builder.Create(
        "<Window><VerticalLayout><Bogus name='x'/><Label name='y'/></VerticalLayout></Window>");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetCount(), 1);
    EXPECT_NE(root->FindControl("y"), nullptr);
    delete root;
}

// Found by fuzzing: sizes beyond any screen made the layout's sums overflow.
TEST(LayoutFiles, HugeSizesStayWithinScreenCoordinates) {
    CPaintManagerUI manager;
    CDialogBuilder builder;
    CControlUI* root = builder.Create(
        "<Window size='0,6'><VerticalLayout inset='1,2,3,4' childpadding='5'>"
        "<Button name='a' height='2222222240'/><Button name='b' height='2222222240'/>"
        "<Button name='c' height='-99999999999'/><Control name='d'/></VerticalLayout></Window>",
        static_cast<UINT>(0), nullptr, &manager);
    ASSERT_TRUE(manager.AttachDialog(root));
    manager.FindControl(POINT{1, 1});  // lays the tree out
    CControlUI* a = manager.FindControl("a");
    CControlUI* b = manager.FindControl("b");
    EXPECT_EQ(a->GetFixedHeight(), 32767);
    EXPECT_EQ(a->GetPos().bottom - a->GetPos().top, 32767);
    EXPECT_EQ(b->GetPos().top, a->GetPos().bottom + 5);
    EXPECT_LE(manager.FindControl("d")->GetPos().top, 1 << 30);
}

class ResourcePathTest : public testsupport::IsolatedTest {};

TEST_F(ResourcePathTest, LayoutsAreReadFromTheResourceFolder) {
    std::string skin = env.root + "/skin";
    std::filesystem::create_directories(skin);
    testsupport::writeFile(skin + "/one.xml", "<Window size='50,60'><Button name='b'/></Window>");
    CPaintManagerUI::SetResourcePath(skin.c_str());
    EXPECT_EQ(CPaintManagerUI::GetResourcePath(), (skin + "/").c_str());

    CPaintManagerUI manager;
    CDialogBuilder builder;
    CControlUI* root = builder.Create("one.xml", static_cast<UINT>(0), nullptr, &manager);
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->GetClass(), "Button");
    EXPECT_EQ(manager.GetInitSize().cx, 50);
    EXPECT_EQ(manager.GetInitSize().cy, 60);
    manager.AttachDialog(root);
    EXPECT_EQ(manager.FindControl("b"), root);
}

}  // namespace
