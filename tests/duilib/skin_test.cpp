// The installer's real skin on the display-less backend: keys per page, and
// painting into memory with every image it names.  The real window under
// Xvfb is tests/gui's; the controls and pages the window code uses are
// exercised by tests/ui.
#include <cairo.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/duilib/test_window.h"
#include "tests/support/test_env.h"

namespace {

using namespace duitest;

const std::string kSkinDir = HOBNAR_SKIN_DIR;
using Notes = std::vector<std::string>;

class SkinTest : public testsupport::IsolatedTest {
  protected:
    void SetUp() override {
        CPaintManagerUI::SetResourcePath(kSkinDir.c_str());
        window = openWindow("main.xml", trace);
        hWnd = window->GetHWND();
        ASSERT_NE(window->m_pm.GetRoot(), nullptr);
    }
    void TearDown() override { DestroyWindow(hWnd); }

    WindowTrace trace;
    TestWindow* window = nullptr;
    HWND hWnd = nullptr;
};

TEST_F(SkinTest, EachPageHasItsDefaultAndEscapeCloses) {
    const char* defaults[] = {"startInstallBtn1", "startInstallBtn2", nullptr, "openNewBtn",
                              "retryBtn"};
    auto* tabs = window->find<CTabLayoutUI>("switch");
    for (int page = 0; page < 5; ++page) {
        tabs->SelectItem(page, false);
        trace.notes.clear();
        SimulateKey(hWnd, VK_RETURN);
        SimulateKey(hWnd, VK_ESCAPE);
        Notes expected;
        if (defaults[page]) {
            expected.push_back(std::string("click ") + defaults[page]);
        }
        expected.push_back("click closebtn");
        EXPECT_EQ(trace.notes, expected) << "page " << page;
    }
}

struct Pixel {
    int r, g, b, a;
};

Pixel pixelAt(cairo_surface_t* image, int x, int y) {
    const unsigned char* row =
        cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
    uint32_t v = reinterpret_cast<const uint32_t*>(row)[x];
    return Pixel{static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                 static_cast<int>(v & 0xFF), static_cast<int>(v >> 24)};
}

bool isCoral(Pixel p) {
    return p.r > 235 && p.g > 60 && p.g < 100 && p.b > 60 && p.b < 100;
}

// The start button's left part (clear of its text) in the 600 x 400 window.
const POINT kStartButton{210, 272};

TEST_F(SkinTest, PaintsIntoMemoryWithoutADisplay) {
    SetWindowRgn(hWnd, CreateRoundRectRgn(0, 0, 601, 401, 16, 16), TRUE);
    std::string png = env.root + "/skin.png";
    ASSERT_TRUE(CaptureWindowPng(hWnd, png.c_str()));
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(image), 600);
    EXPECT_EQ(cairo_image_surface_get_height(image), 400);
    EXPECT_EQ(pixelAt(image, 0, 0).a, 0);  // cut corner
    EXPECT_EQ(pixelAt(image, 599, 399).a, 0);
    Pixel inside = pixelAt(image, 300, 320);
    EXPECT_EQ(inside.a, 255);
    EXPECT_GT(inside.r + inside.g + inside.b, 3 * 245);  // white page
    EXPECT_TRUE(isCoral(pixelAt(image, kStartButton.x, kStartButton.y)));
    cairo_surface_destroy(image);

    // Every image the layout names, and the second installing background.
    std::vector<std::string> images{"installingbk2.png"};
    std::vector<CControlUI*> todo{window->m_pm.GetRoot()};
    while (!todo.empty()) {
        CControlUI* c = todo.back();
        todo.pop_back();
        if (!c->GetBkImage().IsEmpty()) {
            images.push_back(c->GetBkImage().str());
        }
        for (int i = 0; i < c->GetCount(); ++i) {
            todo.push_back(c->GetItemAt(i));
        }
    }
    EXPECT_GE(images.size(), 4u);
    for (const std::string& name : images) {
        EXPECT_TRUE(std::filesystem::is_regular_file(kSkinDir + "/" + name)) << name;
    }
}

}  // namespace
