// The installer window on the display-less backend: the real skin, real
// clicks through the hit test, a real backend on 127.0.0.1 and the real
// download thread.
#include <curl/curl.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <regex>
#include <thread>

#include <sched.h>
#include <sys/mount.h>

#include "context/installer_context.h"
#include "install/install.h"
#include "tests/support/backend_process.h"
#include "tests/support/local_server.h"
#include "tests/support/test_env.h"
#include "ui/frame_window.h"

using namespace DuiLib;
using testsupport::IsolatedTest;
using testsupport::LocalServer;

namespace {

class FrameWindow : public IsolatedTest {
  protected:
    void SetUp() override {
        curl_global_init(CURL_GLOBAL_ALL);
        UseNullBackend();
        server.answerJson("/v1/app/client/getSize", R"({"success":"1","obj":"367001600"})");
        server.acceptEvents();
        server.http.Get("/package.rar", [this](const httplib::Request&, httplib::Response& res) {
            if (packageStatus != 200) {
                res.status = packageStatus;
                return;
            }
            res.set_content(testsupport::readFile(packageFile), "application/octet-stream");
        });
        server.start();
        InstallerContext& context = InstallerContext::instance();
        context.apiBaseUrl = server.url();
        context.packageUrl = server.url() + "/package.rar";
    }

    void TearDown() override {
        if (IsWindow(hWnd)) {
            DestroyWindow(hWnd);
        }
    }

    void open(const std::string& skinFolder = HOBNAR_SKIN_DIR) {
        CPaintManagerUI::SetResourcePath(skinFolder.c_str());
        window = new CFrameWindowWnd();
        hWnd = window->Create(nullptr, "安装包下载器", 0x10CF0000, 0x100, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
        ASSERT_NE(hWnd, nullptr);
    }

    CControlUI* find(const char* name) { return window->m_pm.FindControl(name); }
    int page() { return dynamic_cast<CTabLayoutUI*>(find("switch"))->GetCurSel(); }

    void click(const char* name) {
        CControlUI* control = find(name);
        ASSERT_NE(control, nullptr) << name;
        const RECT& rc = control->GetPos();
        POINT center;
        center.x = (rc.left + rc.right) / 2;
        center.y = (rc.top + rc.bottom) / 2;
        SimulateClick(hWnd, center);
    }

    // Delivers posted messages until `done` holds or 30 seconds pass.
    template <typename Condition>
    bool pumpUntil(Condition done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            PumpMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::vector<std::string> events() {
        std::vector<std::string> names;
        const std::regex btnId(R"re("btnId":"([A-Za-z_]+)")re");
        for (const auto& seen : server.requests()) {
            std::smatch match;
            if (seen.path == "/v1/app/operationLog/saveLog" &&
                std::regex_search(seen.body, match, btnId)) {
                names.push_back(match[1]);
            }
        }
        return names;
    }

    int requestsFor(const std::string& path) {
        int count = 0;
        for (const auto& seen : server.requests()) {
            count += seen.path == path ? 1 : 0;
        }
        return count;
    }

    LocalServer server;
    std::string packageFile;
    int packageStatus = 200;
    CFrameWindowWnd* window = nullptr;
    HWND hWnd = nullptr;
};

TEST_F(FrameWindow, CreationFillsTheStartAndCustomPages) {
    open();
    EXPECT_TRUE(dynamic_cast<CCheckBoxUI*>(find("readAndAgreeBtn1"))->GetCheck());
    EXPECT_TRUE(dynamic_cast<CCheckBoxUI*>(find("readAndAgreeBtn2"))->GetCheck());
    EXPECT_STREQ(find("spaceRequired")->GetText(), "350.00MB");
    EXPECT_STREQ(find("installPath")->GetText(), (env.dataHome + "/win-ia32-unpacked").c_str());
    EXPECT_EQ(window->m_exePath, env.dataHome + "/win-ia32-unpacked/hobnarAudio.exe");
    EXPECT_TRUE(std::regex_match(std::string(find("freeSpace")->GetText()),
                                 std::regex("[0-9]+\\.[0-9]{2}GB")));
    EXPECT_EQ(page(), 0);
    EXPECT_EQ(GetWindowLongA(hWnd, GWL_STYLE) & static_cast<LONG>(WS_CAPTION), 0);
}

TEST_F(FrameWindow, WithoutASizeLabelNoSizeIsAsked) {
    std::string skin = env.root + "/skin";
    testsupport::writeFile(
        skin + "/main.xml",
        R"(<Window size="600,400" caption="0,0,0,40" roundcorner="16,16">)"
        R"(<VerticalLayout><Label name="installPath" /></VerticalLayout></Window>)");
    open(skin);
    EXPECT_EQ(requestsFor("/v1/app/client/getSize"), 0);
}

TEST_F(FrameWindow, ProgressAndBackgroundAnimation) {
    open();
    const struct {
        double percent;
        const char* text;
        int value;
    } rows[] = {{0.5, "0%", 0},    {1.0, "0%", 0},       {1.5, "1%", 1},  {37.0, "37%", 37},
                {99.9, "99%", 99}, {100.0, "100%", 100}, {-3.0, "0%", 0}, {NAN, "0%", 0}};
    for (const auto& row : rows) {
        window->showProgress(row.percent);
        EXPECT_STREQ(find("progresslbl")->GetText(), row.text) << row.percent;
        EXPECT_EQ(dynamic_cast<CProgressUI*>(find("Progress"))->GetValue(), row.value)
            << row.percent;
    }

    window->switchPage(kInstallingPage);
    EXPECT_EQ(page(), kInstallingPage);
    ASSERT_TRUE(IsTimerRunning(hWnd, 1));
    EXPECT_FALSE(FireTimer(hWnd, 7));
    std::vector<std::string> shown;
    for (int tick = 0; tick < 3; ++tick) {
        FireTimer(hWnd, 1);
        shown.push_back(find("pollingBK")->GetBkImage().GetData());
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"installingbk2.png", "installingbk1.png",
                                               "installingbk2.png"}));
    window->switchPage(0);
    EXPECT_FALSE(IsTimerRunning(hWnd, 1));
    EXPECT_EQ(events(), (std::vector<std::string>{"pc_Installing"}));
}

TEST_F(FrameWindow, AgreementGatesTheStartPageButtons) {
    open();
    CControlUI* start = find("startInstallBtn1");
    click("readAndAgreeBtn1");
    EXPECT_FALSE(start->IsEnabled());
    EXPECT_FALSE(find("customInstallBtn")->IsEnabled());
    EXPECT_EQ(start->GetBkColor(), 0xFFD8D8D8u);
    click("startInstallBtn1");
    EXPECT_EQ(page(), 0) << "a disabled start button does nothing";
    click("readAndAgreeBtn1");
    EXPECT_TRUE(start->IsEnabled());
    EXPECT_TRUE(find("customInstallBtn")->IsEnabled());
    EXPECT_EQ(start->GetBkColor(), 0xFFFF4F4Fu);

    click("customInstallBtn");
    DWORD secondColor = find("startInstallBtn2")->GetBkColor();
    click("readAndAgreeBtn2");
    EXPECT_TRUE(find("startInstallBtn2")->IsEnabled());
    EXPECT_EQ(find("startInstallBtn2")->GetBkColor(), secondColor);
    window->m_pm.SendNotify(find("backbtn"), "selectchanged");
    EXPECT_EQ(page(), 1) << "only clicks act";
    EXPECT_TRUE(events().size() == 1 && events()[0] == "pc_install_custom");
}

TEST_F(FrameWindow, PagesAndTheirEvents) {
    open();
    click("customInstallBtn");
    EXPECT_EQ(page(), 1);
    click("backbtn");
    EXPECT_EQ(page(), 0);
    click("customInstallBtn");
    EXPECT_EQ(events(), (std::vector<std::string>{"pc_install_custom", "pc_install_custom"}));

    std::string chosen = env.root + "/picked";
    std::filesystem::create_directories(chosen);
    SetNextFolderChoice((chosen + "/").c_str());
    click("selectFileDirBtn");
    EXPECT_STREQ(LastFolderDialogTitle(), "从下面选择文件或文件夹:");
    EXPECT_STREQ(find("installPath")->GetText(), (chosen + "/win-ia32-unpacked").c_str());
    CDuiString freeSpace = find("freeSpace")->GetText();
    testing::internal::CaptureStdout();
    click("selectFileDirBtn");  // cancelled: nothing chosen
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "path is empty!! setUiIntallPathAndFreeSpace failed. ");
    EXPECT_STREQ(find("installPath")->GetText(), (chosen + "/win-ia32-unpacked").c_str());
    EXPECT_EQ(find("freeSpace")->GetText(), freeSpace);
    EXPECT_EQ(window->m_installDir, chosen);
}

TEST_F(FrameWindow, InstallLocationEdges) {
    open();
    window->setUiIntallPathAndFreeSpace("/");
    EXPECT_STREQ(find("installPath")->GetText(), "/win-ia32-unpacked");
    EXPECT_EQ(window->m_exePath, "/win-ia32-unpacked/hobnarAudio.exe");
    EXPECT_TRUE(std::regex_match(std::string(find("freeSpace")->GetText()),
                                 std::regex("[0-9]+\\.[0-9]{2}GB")))
        << "the root file system's space";
    window->setUiIntallPathAndFreeSpace(env.root + "//");
    EXPECT_EQ(window->m_installDir, env.root + "/");

    std::string odd = env.root + "/a b \"q\" ;$(touch pwned) 中文";
    window->setUiIntallPathAndFreeSpace(odd);
    window->startInstall();
    EXPECT_TRUE(std::filesystem::is_directory(odd + "/win-ia32-unpacked"));
    EXPECT_EQ(window->m_installDir, odd + "/win-ia32-unpacked");
    EXPECT_FALSE(std::filesystem::exists(env.root + "/pwned"));
}

// A product folder that cannot be made ends on the failure page at once.
TEST_F(FrameWindow, AFolderThatCannotBeMadeShowsTheFailure) {
    open();
    testsupport::writeFile(env.root + "/plain", "x");
    window->setUiIntallPathAndFreeSpace(env.root + "/plain");
    click("startInstallBtn1");
    ASSERT_TRUE(pumpUntil([&] { return page() == kFailedPage; }));
    EXPECT_FALSE(IsTimerRunning(hWnd, kBackgroundTimer));
    EXPECT_NE(std::string(find("failReason")->GetText()).find("无法创建安装目录"),
              std::string::npos);
    EXPECT_EQ(events(), (std::vector<std::string>{"pc_click_install", "pc_Installing"}));
}

// A package address that answers 404 gives up after five answers and names
// the status; a retry is a click to install with the same events.
TEST_F(FrameWindow, AMissingPackageNamesTheStatusAndARetryClicksAgain) {
    packageStatus = 404;
    open();
    click("startInstallBtn1");
    ASSERT_TRUE(pumpUntil([&] { return page() == kFailedPage; }));
    EXPECT_NE(std::string(find("failReason")->GetText()).find("HTTP 404"), std::string::npos)
        << find("failReason")->GetText();
    EXPECT_EQ(requestsFor("/package.rar"), 5);

    click("retryBtn");
    EXPECT_EQ(page(), kInstallingPage);
    ASSERT_TRUE(pumpUntil([&] { return page() == kFailedPage; }));
    EXPECT_EQ(events(), (std::vector<std::string>{"pc_click_install", "pc_Installing",
                                                  "pc_click_install", "pc_Installing"}));
    click("failCloseBtn");
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(hWnd); }));
    EXPECT_EQ(events().back(), "pc_close_install");
}

// Without the UnRAR library the archive stays whole on disk and the page
// says what is missing; once the library is back, a retry unpacks that
// archive without asking for the package again, and the product is started
// from the finished page.  The library is hidden in a private mount
// namespace of this test process.
TEST_F(FrameWindow, AMissingUnrarLibraryIsNamedAndARetryUsesTheArchive) {
    const std::string library = "/usr/lib/x86_64-linux-gnu/libunrar.so.5";
    testsupport::writeFile(env.root + "/empty", "");
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount((env.root + "/empty").c_str(), library.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        GTEST_SKIP() << "no private mount namespace here to hide " << library;
    }
    packageFile = env.root + "/package.rar";
    ASSERT_TRUE(testsupport::makeRarPackage(packageFile, testsupport::recordingProduct()));
    open();
    click("startInstallBtn1");
    ASSERT_TRUE(pumpUntil([&] { return page() == kFailedPage; }));
    EXPECT_NE(std::string(find("failReason")->GetText()).find("UnRAR"), std::string::npos);
    std::string product = env.dataHome + "/win-ia32-unpacked";
    EXPECT_TRUE(std::filesystem::exists(product + ".rar"));

    ASSERT_EQ(::umount2(library.c_str(), MNT_DETACH), 0);
    click("retryBtn");
    ASSERT_TRUE(pumpUntil([&] { return page() == kFinishedPage; }));
    EXPECT_FALSE(IsTimerRunning(hWnd, kBackgroundTimer));
    EXPECT_EQ(requestsFor("/package.rar"), 1);
    EXPECT_EQ(events(),
              (std::vector<std::string>{"pc_click_install", "pc_Installing", "pc_click_install",
                                        "pc_Installing", "pc_install_success"}));
    click("openNewBtn");
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(hWnd); }));
    EXPECT_EQ(events().back(), "pc_click_use");
    EXPECT_TRUE(pumpUntil([&] { return std::filesystem::exists(product + "/started"); }));
}

// The run reports from its own thread; once the window is gone its posts are
// refused and the run still ends cleanly on its own.
TEST_F(FrameWindow, ARunOutlivesItsWindowWithoutTouchingIt) {
    packageFile = env.root + "/package.rar";
    ASSERT_TRUE(testsupport::makeRarPackage(
        packageFile, {{"hobnarAudio.exe", testsupport::randomBytes(3 * 1024 * 1024)}}));
    open();
    click("startInstallBtn1");
    DestroyWindow(hWnd);
    ASSERT_TRUE(pumpUntil(
        [] { return readRegistryString("SOFTWARE\\ZorozAvuzado", "DisplayPath") != ""; }));
    EXPECT_EQ(PumpMessages(), 0);
}

}  // namespace
