// The installer window on the display-less backend: the real skin, real
// clicks through the hit test, a real backend on 127.0.0.1 and the real
// download thread.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <regex>
#include <thread>

#include "backend/backend.h"
#include "context/installer_context.h"
#include "install/install.h"
#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"
#include "tests/ui/unrar_library.h"
#include "ui/frame_window.h"

using namespace DuiLib;
using testsupport::BackendProcess;
using testsupport::IsolatedTest;

namespace {

// A path written with "/" in the form of this system.
std::string native(std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kPathSep);
    return path;
}

class FrameWindow : public IsolatedTest {
  protected:
    void SetUp() override {
        backend::initializeHttp();
        UseNullBackend();
    }

    // The real backend on a port of its own serves `package` (a few bytes
    // that are no archive unless a test makes one), with its faults.
    void serve(const std::vector<std::string>& faults = {}) {
        if (!platform::fileExists(packageFile)) {
            testsupport::writeFile(packageFile, "not an archive");
        }
        backendProcess = std::make_unique<BackendProcess>(env.root, packageFile, 0, faults);
        ASSERT_TRUE(backendProcess->ready()) << backendProcess->log();
        InstallerContext& context = InstallerContext::instance();
        context.apiBaseUrl = backendProcess->url();
        context.packageUrl = backendProcess->url() + kPackagePath;
    }

    void TearDown() override {
        if (IsWindow(hWnd)) {
            DestroyWindow(hWnd);
        }
    }

    // The build's skin, found from the test program as the installer finds
    // its own.
    void open(const std::string& skinFolder = platform::programDir() + platform::kPathSep +
                                              HOBNAR_SKIN_FROM_PROGRAM) {
        if (!backendProcess) {
            ASSERT_NO_FATAL_FAILURE(serve());
        }
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

    std::vector<std::string> events() { return backendProcess->eventNames(); }

    // The backend logs a request once its answer has gone out.
    int requestsFor(const std::string& path) {
        std::string log = backendProcess->log();
        int count = 0;
        for (size_t at = log.find("GET " + path + " "); at != std::string::npos;
             at = log.find("GET " + path + " ", at + 1)) {
            ++count;
        }
        return count;
    }

    static constexpr const char* kPackagePath = "/client/win/mainprogram/win-ia32-unpacked.rar";
    std::string packageFile = env.root + "/package.rar";
    std::unique_ptr<BackendProcess> backendProcess;
    CFrameWindowWnd* window = nullptr;
    HWND hWnd = nullptr;
};

TEST_F(FrameWindow, CreationFillsTheStartAndCustomPages) {
    open();
    EXPECT_TRUE(dynamic_cast<CCheckBoxUI*>(find("readAndAgreeBtn1"))->GetCheck());
    EXPECT_TRUE(dynamic_cast<CCheckBoxUI*>(find("readAndAgreeBtn2"))->GetCheck());
    EXPECT_STREQ(find("spaceRequired")->GetText(), "0.00MB") << "the size of the served package";
    EXPECT_STREQ(find("installPath")->GetText(),
                 (env.dataHome + native("/win-ia32-unpacked")).c_str());
    EXPECT_EQ(window->m_exePath, env.dataHome + native("/win-ia32-unpacked/hobnarAudio.exe"));
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
    SetNextFolderChoice((chosen + native("/")).c_str());
    click("selectFileDirBtn");
    EXPECT_STREQ(LastFolderDialogTitle(), "从下面选择文件或文件夹:");
    EXPECT_STREQ(find("installPath")->GetText(), (chosen + native("/win-ia32-unpacked")).c_str());
    CDuiString freeSpace = find("freeSpace")->GetText();
    testing::internal::CaptureStdout();
    click("selectFileDirBtn");  // cancelled: nothing chosen
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "path is empty!! setUiIntallPathAndFreeSpace failed. ");
    EXPECT_STREQ(find("installPath")->GetText(), (chosen + native("/win-ia32-unpacked")).c_str());
    EXPECT_EQ(find("freeSpace")->GetText(), freeSpace);
    EXPECT_EQ(window->m_installDir, chosen);
}

TEST_F(FrameWindow, InstallLocationEdges) {
    open();
    window->setUiIntallPathAndFreeSpace(native("/"));
    EXPECT_STREQ(find("installPath")->GetText(), native("/win-ia32-unpacked").c_str());
    EXPECT_EQ(window->m_exePath, native("/win-ia32-unpacked/hobnarAudio.exe"));
    EXPECT_TRUE(std::regex_match(std::string(find("freeSpace")->GetText()),
                                 std::regex("[0-9]+\\.[0-9]{2}GB")))
        << "the root file system's space";
    window->setUiIntallPathAndFreeSpace(env.root + native("//"));
    EXPECT_EQ(window->m_installDir, env.root + native("/"));

    // Quotes cannot stand in a Windows file name; everything else can.
    std::string odd = env.root + native("/a b ;$(touch pwned) 中文") +
                      (platform::kPathSep == '/' ? " \"q\"" : "");
    window->setUiIntallPathAndFreeSpace(odd);
    window->startInstall();
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::u8path(odd + "/win-ia32-unpacked")));
    EXPECT_EQ(window->m_installDir, odd + native("/win-ia32-unpacked"));
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
    serve({"--status", std::string(kPackagePath) + "=404"});
    open();
    click("startInstallBtn1");
    ASSERT_TRUE(pumpUntil([&] { return page() == kFailedPage; }));
    EXPECT_NE(std::string(find("failReason")->GetText()).find("HTTP 404"), std::string::npos)
        << find("failReason")->GetText();
    EXPECT_EQ(requestsFor(kPackagePath), 5);

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
// from the finished page.
TEST_F(FrameWindow, AMissingUnrarLibraryIsNamedAndARetryUsesTheArchive) {
    if (!uitest::hideUnrarLibrary(env.root)) {
        GTEST_SKIP() << "the UnRAR library cannot be hidden from this test here";
    }
    ASSERT_TRUE(testsupport::makeRarPackage(packageFile, testsupport::recordingProduct()));
    serve();
    open();
    click("startInstallBtn1");
    ASSERT_TRUE(pumpUntil([&] { return page() == kFailedPage; }));
    EXPECT_NE(std::string(find("failReason")->GetText()).find("UnRAR"), std::string::npos);
    std::string product = env.dataHome + "/win-ia32-unpacked";
    EXPECT_TRUE(std::filesystem::exists(product + ".rar"));

    ASSERT_TRUE(uitest::restoreUnrarLibrary());
    click("retryBtn");
    ASSERT_TRUE(pumpUntil([&] { return page() == kFinishedPage; }));
    EXPECT_FALSE(IsTimerRunning(hWnd, kBackgroundTimer));
    EXPECT_EQ(requestsFor(kPackagePath), 1);
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
