// The layout engine: where each kind of container puts its children and
// which control a point reaches; layouts that cannot be read.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/duilib/test_window.h"

namespace {

using namespace duitest;

// "name=left,top,right,bottom" for every shown control with a name, depth
// first, then "@x,y=" and the name of the control a point reaches.
std::string placement(CPaintManagerUI& manager, POINT probe) {
    std::ostringstream text;
    std::vector<CControlUI*> todo{manager.GetRoot()};
    while (!todo.empty()) {
        CControlUI* c = todo.back();
        todo.pop_back();
        const RECT& rc = c->GetPos();
        if (!c->GetName().IsEmpty() && c->IsVisibleOnScreen()) {
            text << c->GetName().str() << "=" << rc.left << "," << rc.top << "," << rc.right << ","
                 << rc.bottom << " ";
        }
        for (int i = c->GetCount() - 1; i >= 0; --i) {
            todo.push_back(c->GetItemAt(i));
        }
    }
    CControlUI* hit = manager.FindControl(probe);
    text << "@" << probe.x << "," << probe.y << "=" << (hit ? hit->GetName().str() : "none");
    return text.str();
}

TEST(Layout, ContainersPlaceTheirChildren) {
    const struct {
        const char* xml;  // inside <Window size="200,100">
        POINT probe;
        const char* placed;
    } rows[] = {
        // Fixed sizes first, the rest shared, the odd pixel to the last; hidden take no room.
        {"<VerticalLayout><Control name='a' height='21'/><Control name='b'/><Control name='c'/>"
         "<Control name='gone' visible='false' height='50'/></VerticalLayout>",
         {100, 99},
         "a=0,0,200,21 b=0,21,200,60 c=0,60,200,100 @100,99=c"},
        // Inset and gaps; a fixed height across the line stays at the top.
        {"<HorizontalLayout name='r' inset='5,6,7,8' childpadding='4'><Control name='a' "
         "width='30'/><Control name='b'/><Control name='c' height='10'/></HorizontalLayout>",
         {116, 50},
         "r=0,0,200,100 a=5,6,35,92 b=39,6,114,92 c=118,6,193,16 @116,50=r"},
        // Padding takes room along the line and narrows the child across it.
        {"<VerticalLayout name='r'><Control name='a' height='20' padding='1,2,3,4'/>"
         "<Control name='b' width='50'/></VerticalLayout>",
         {100, 24},
         "r=0,0,200,100 a=1,2,197,22 b=0,26,50,100 @100,24=r"},
        // Float: placed from the parent's corner, outside the line, on top.
        {"<VerticalLayout inset='10,10,10,10'><Control name='a'/>"
         "<Control name='f' float='true' pos='5,6,25,36'/></VerticalLayout>",
         {15, 15},
         "a=10,10,190,90 f=5,6,25,36 @15,15=f"},
        // A plain container overlaps its children; fixed sizes from the top left.
        {"<Container name='r' inset='2,2,2,2'><Control name='a'/>"
         "<Control name='b' width='10' height='20' padding='3,4,0,0'/></Container>",
         {199, 99},
         "r=0,0,200,100 a=2,2,198,98 b=5,6,15,26 @199,99=r"},
        {"<TabLayout selectedid='0'><Control name='p0'/><Control name='p1'/></TabLayout>",
         {50, 50},
         "p0=0,0,200,100 @50,50=p0"},
        // Found by fuzzing: sizes beyond any screen made the layout's sums overflow.
        {"<VerticalLayout inset='1,2,3,4' childpadding='5'><Control name='a' height='2222222240'/>"
         "<Control name='b' height='2222222240'/><Control name='c' height='-99999999999'/>"
         "<Control name='d'/></VerticalLayout>",
         {-1, 5},
         "a=1,2,197,32769 b=1,32774,197,65541 c=1,65546,197,65546 d=1,65551,197,65551 @-1,5=none"},
    };
    for (const auto& row : rows) {
        CPaintManagerUI manager;
        std::string xml = std::string("<Window size='200,100'>") + row.xml + "</Window>";
        ASSERT_TRUE(
            manager.AttachDialog(CDialogBuilder().Create(xml.c_str(), 0u, nullptr, &manager)));
        EXPECT_EQ(placement(manager, row.probe), row.placed) << row.xml;
    }
}

TEST(Layout, UnreadableLayoutsGiveNoTree) {
    for (const char* xml : {"", "<Window>", "<Window><Bogus/></Window>", "<Window></Window>",
                            "missing.xml", "/no/such/dir/main.xml"}) {
        EXPECT_EQ(CDialogBuilder().Create(xml), nullptr) << xml;
    }
}

}  // namespace
