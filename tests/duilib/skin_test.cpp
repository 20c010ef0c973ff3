// The installer's real skin: every control the window code looks up is there
// with the right kind on the right page, the window shape and caption, keys
// per page, painting into memory, and one real window under Xvfb.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/duilib/test_window.h"
#include "tests/support/child_process.h"
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

    // Page of "switch" holding the control, or -1.
    int pageOf(const char* name) {
        auto* tabs = window->find<CTabLayoutUI>("switch");
        for (CControlUI* c = window->find(name); c; c = c->GetParent()) {
            if (c->GetParent() == tabs) {
                return tabs->GetItemIndex(c);
            }
        }
        return -1;
    }

    WindowTrace trace;
    TestWindow* window = nullptr;
    HWND hWnd = nullptr;
};

TEST_F(SkinTest, HasEveryControlTheInstallerUses) {
    const struct {
        const char* name;
        const char* kind;
        int page;  // -1: outside the pages
    } rows[] = {
        {"switch", "TabLayout", -1},
        {"closebtn", "Button", -1},
        {"readAndAgreeBtn1", "CheckBox", 0},
        {"userProtocolBtn", "Button", 0},
        {"startInstallBtn1", "Button", 0},
        {"customInstallBtn", "Button", 0},
        {"installPath", "Label", 1},
        {"freeSpace", "Label", 1},
        {"spaceRequired", "Label", 1},
        {"selectFileDirBtn", "Button", 1},
        {"readAndAgreeBtn2", "CheckBox", 1},
        {"startInstallBtn2", "Button", 1},
        {"backbtn", "Button", 1},
        {"pollingBK", "VerticalLayout", 2},
        {"progresslbl", "Label", 2},
        {"Progress", "Progress", 2},
        {"openNewBtn", "Button", 3},
        {"failReason", "Label", 4},
        {"retryBtn", "Button", 4},
        {"failCloseBtn", "Button", 4},
    };
    for (const auto& row : rows) {
        CControlUI* control = window->find(row.name);
        ASSERT_NE(control, nullptr) << row.name;
        EXPECT_STREQ(control->GetClass(), row.kind) << row.name;
        EXPECT_EQ(pageOf(row.name), row.page) << row.name;
    }
    auto* tabs = window->find<CTabLayoutUI>("switch");
    EXPECT_EQ(tabs->GetCount(), 5);
    EXPECT_EQ(tabs->GetCurSel(), 0);
    auto* progress = window->find<CProgressUI>("Progress");
    EXPECT_EQ(progress->GetMinValue(), 0);
    EXPECT_EQ(progress->GetMaxValue(), 100);
    EXPECT_EQ(window->find("startInstallBtn1")->GetBkColor(), 0xFFFF4F4Fu);
    EXPECT_STREQ(window->find("startInstallBtn1")->GetText(), "立即安装");
    EXPECT_STREQ(window->find("openNewBtn")->GetText(), "立即体验");
    EXPECT_STREQ(window->find("pollingBK")->GetBkImage(), "installingbk1.png");
}

TEST_F(SkinTest, WindowShapeCaptionAndImages) {
    RECT rc;
    ASSERT_TRUE(GetWindowRect(hWnd, &rc));
    EXPECT_EQ(rc.right - rc.left, 600);
    EXPECT_EQ(rc.bottom - rc.top, 400);
    EXPECT_EQ(window->m_pm.GetCaptionRect().bottom, 40);
    EXPECT_GT(window->m_pm.GetRoundCorner().cx, 0);

    // Empty caption and the title drag; the close button in it clicks.
    for (POINT pt : {POINT{300, 20}, POINT{60, 20}, POINT{20, 20}}) {
        CControlUI* at = window->m_pm.FindControl(pt);
        ASSERT_NE(at, nullptr);
        EXPECT_STRNE(at->GetClass(), "Button") << pt.x;
    }
    POINT close = window->centerOf("closebtn");
    EXPECT_LT(close.y, 40);
    EXPECT_STREQ(window->m_pm.FindControl(close)->GetClass(), "Button");

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
    for (const std::string& image : images) {
        EXPECT_TRUE(std::filesystem::is_regular_file(kSkinDir + "/" + image)) << image;
    }
}

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
}

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        std::string dir =
            dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty() && std::filesystem::exists(dir + "/" + program)) {
            return true;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return false;
}

// Xvfb picks a free display itself and writes its number to our file.
std::string waitForDisplay(const std::string& numberFile, testsupport::ChildProcess& xvfb) {
    for (int i = 0; i < 200 && xvfb.running(); ++i) {
        std::string text = testsupport::readFile(numberFile);
        if (!text.empty() && text.back() == '\n') {
            return ":" + text.substr(0, text.size() - 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "";
}

class SkinOnScreenTest : public testsupport::IsolatedTest {};

TEST_F(SkinOnScreenTest, RealWindowUnderXvfbMapsAndIsShaped) {
    if (!onPath("Xvfb")) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    std::string numberFile = env.root + "/display";
    testsupport::ChildProcess xvfb(
        {"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-br", "-nolisten", "tcp"},
        numberFile, env.root + "/xvfb.log");
    std::string display = waitForDisplay(numberFile, xvfb);
    ASSERT_FALSE(display.empty()) << testsupport::readFile(env.root + "/xvfb.log");
    testsupport::setEnv("DISPLAY", display.c_str());
    testsupport::setEnv("NO_AT_BRIDGE", "1");
    testsupport::setEnv("DUILIB_BACKEND", nullptr);
    testsupport::setEnv("GDK_GL", nullptr);

    std::string png = std::string(HOBNAR_BUILD_DIR) + "/duilib-skin-screenshot.png";
    std::filesystem::remove(png);
    testsupport::ChildProcess probe(
        {testsupport::buildToolPath("duilib_window_probe"), kSkinDir, png}, "",
        env.root + "/probe.log");
    ASSERT_EQ(probe.wait(60), 0) << testsupport::readFile(env.root + "/probe.log");

    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS) << png;
    EXPECT_EQ(cairo_image_surface_get_width(image), 600);
    EXPECT_EQ(cairo_image_surface_get_height(image), 400);
    // The corner is cut out of the window: the black root window shows there.
    Pixel corner = pixelAt(image, 0, 0);
    EXPECT_EQ(corner.r + corner.g + corner.b, 0);
    Pixel page = pixelAt(image, 300, 320);
    EXPECT_GT(page.r + page.g + page.b, 3 * 245);
    EXPECT_TRUE(isCoral(pixelAt(image, kStartButton.x, kStartButton.y)));
    cairo_surface_destroy(image);
}

}  // namespace
