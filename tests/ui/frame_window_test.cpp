// The installer window on the display-less backend: the real skin, real
// clicks through the hit test, a real backend on 127.0.0.1 and the real
// download thread.
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
using namespace ui;
using context::InstallerContext;
using install::InstallFailure;
using testsupport::BackendProcess;
using testsupport::IsolatedTest;
using testsupport::nativePath;

namespace {

class FrameWindow : public IsolatedTest {
  protected:
    void SetUp() override {
        backend::initializeHttp();
        UseNullBackend();
    }

    void TearDown() override {
        if (IsWindow(hWnd)) {
            DestroyWindow(hWnd);
        }
        // The launch queries write the registry, which the environment names:
        // they end before the test's environment is taken down.
        InstallerContext::instance().finishRequests(install::kNoDeadline);
    }

    // The real backend on a port of its own serves `packageFile` (a few bytes
    // that are no archive unless a test makes one) with its `faults`, and is
    // the one the launch queries ask, as the program's start-up does it (the
    // built-in package address at `builtInPath`); the window has the build's
    // skin, found from the test program as the installer finds its own.
    void open(const std::vector<std::string>& faults = {},
              const std::string& builtInPath = kPackagePath) {
        if (!platform::fileExists(packageFile)) {
            testsupport::writeFile(packageFile, "not an archive");
        }
        backendProcess = std::make_unique<BackendProcess>(env.root, packageFile, 0, faults);
        ASSERT_TRUE(backendProcess->ready()) << backendProcess->log();
        std::string url = backendProcess->url();
        InstallerContext::instance().applyLaunchParameters(
            "", "", {{url, url + builtInPath}, {url, url + builtInPath}});
        CPaintManagerUI::SetResourcePath(skinFolder.c_str());
        window = new CFrameWindowWnd();
        hWnd = window->Create(nullptr, kMainWindowTitle, kMainWindowStyle, kMainWindowExStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
        ASSERT_NE(hWnd, nullptr);
    }

    CControlUI* find(const char* name) { return window->m_pm.FindControl(name); }
    int page() { return dynamic_cast<CTabLayoutUI*>(find("switch"))->GetCurSel(); }
    std::string failReason() { return find("failReason")->GetText().GetData(); }

    void click(const char* name) {
        CControlUI* control = find(name);
        ASSERT_NE(control, nullptr) << name;
        const RECT& rc = control->GetPos();
        SimulateClick(hWnd, POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
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

    // The events the backend stored, once everything queued has been sent.
    std::vector<std::string> events() {
        EXPECT_TRUE(InstallerContext::instance().finishRequests(install::kNoDeadline));
        return backendProcess->eventNames();
    }
    // The backend logs a request once its answer has gone out.
    int packageRequests() { return backendProcess->requests(std::string("GET ") + kPackagePath); }

    static constexpr const char* kPackagePath = "/client/win/mainprogram/win-ia32-unpacked.rar";
    std::string packageFile = env.root + "/package.rar";
    std::string skinFolder = platform::programDir() + platform::kPathSep + HOBNAR_SKIN_FROM_PROGRAM;
    std::unique_ptr<BackendProcess> backendProcess;
    CFrameWindowWnd* window = nullptr;
    HWND hWnd = nullptr;
};

TEST_F(FrameWindow, StartAndCustomPagesTheAgreementAndTheirEvents) {
    open();
    // The size of the served package, whenever its answer comes.
    EXPECT_TRUE(pumpUntil([&] {
        return std::string(find("spaceRequired")->GetText()) == "0.00MB";
    })) << find("spaceRequired")->GetText();
    EXPECT_STREQ(find("installPath")->GetText(),
                 (env.dataHome + nativePath("/win-ia32-unpacked")).c_str());
    EXPECT_EQ(GetWindowLongA(hWnd, GWL_STYLE) & static_cast<LONG>(WS_CAPTION), 0);

    // Both boxes start checked; the first one gates its page's buttons.
    CControlUI* start = find("startInstallBtn1");
    click("readAndAgreeBtn1");
    EXPECT_FALSE(find("customInstallBtn")->IsEnabled());
    EXPECT_EQ(start->GetBkColor(), 0xFFD8D8D8u);
    click("startInstallBtn1");
    EXPECT_EQ(page(), kStartPage) << "a disabled start button does nothing";
    click("readAndAgreeBtn1");
    EXPECT_EQ(start->GetBkColor(), 0xFFFF4F4Fu);
    click("customInstallBtn");
    EXPECT_TRUE(dynamic_cast<CCheckBoxUI*>(find("readAndAgreeBtn2"))->GetCheck());
    window->m_pm.SendNotify(find("backbtn"), "selectchanged");
    EXPECT_EQ(page(), kCustomPage) << "only clicks act";
    click("backbtn");
    click("customInstallBtn");
    EXPECT_EQ(events(), (std::vector<std::string>{"pc_install_custom", "pc_install_custom"}));

    std::string chosen = env.root + "/picked";
    std::filesystem::create_directories(chosen);
    SetNextFolderChoice((chosen + nativePath("/")).c_str());
    click("selectFileDirBtn");
    EXPECT_STREQ(LastFolderDialogTitle(), "从下面选择文件或文件夹:");
    EXPECT_STREQ(find("installPath")->GetText(),
                 (chosen + nativePath("/win-ia32-unpacked")).c_str());
    click("selectFileDirBtn");  // cancelled: nothing chosen
    EXPECT_STREQ(find("installPath")->GetText(),
                 (chosen + nativePath("/win-ia32-unpacked")).c_str());
    // A drive's or the file system's root shows its own free space.
    window->setUiIntallPathAndFreeSpace(nativePath("/"));
    EXPECT_EQ(window->m_exePath, nativePath("/win-ia32-unpacked/hobnarAudio.exe"));
    EXPECT_TRUE(std::regex_match(std::string(find("freeSpace")->GetText()),
                                 std::regex("[0-9]+\\.[0-9]{2}GB")));
}

TEST_F(FrameWindow, ProgressAndBackgroundAnimation) {
    open();
    const struct {
        double percent;
        const char* text;
        int value;
    } rows[] = {{1.0, "0%", 0}, {1.5, "1%", 1}, {99.9, "99%", 99}, {-3.0, "0%", 0}, {NAN, "0%", 0}};
    for (const auto& row : rows) {
        window->showProgress(row.percent);
        EXPECT_STREQ(find("progresslbl")->GetText(), row.text) << row.percent;
        EXPECT_EQ(dynamic_cast<CProgressUI*>(find("Progress"))->GetValue(), row.value)
            << row.percent;
    }

    window->switchPage(kInstallingPage);
    std::vector<std::string> shown;
    for (int tick = 0; tick < 3; ++tick) {
        EXPECT_TRUE(FireTimer(hWnd, kBackgroundTimer));
        shown.push_back(find("pollingBK")->GetBkImage().GetData());
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"installingbk2.png", "installingbk1.png",
                                               "installingbk2.png"}));
    window->switchPage(kStartPage);
    EXPECT_FALSE(IsTimerRunning(hWnd, kBackgroundTimer));
}

// A skin without the labels the window fills (the package size among them):
// the window asks for no size.
TEST_F(FrameWindow, ASkinWithoutItsLabelsAsksForNoSize) {
    skinFolder = env.root + "/skin";
    testsupport::writeFile(
        skinFolder + "/main.xml",
        R"(<Window size="600,400" caption="0,0,0,40" roundcorner="16,16">)"
        R"(<VerticalLayout><Label name="installPath" /></VerticalLayout></Window>)");
    open();
    EXPECT_EQ(backendProcess->requests("GET /v1/app/client/getSize"), 0);
}

// A product folder that cannot be made fails at once.  A retry is a click
// to install with the same events; a package address that answers 404
// gives up after five answers and names the status.
TEST_F(FrameWindow, FailuresNameTheirReasonAndARetryClicksAgain) {
    open({"--status", std::string(kPackagePath) + "=404"});
    testsupport::writeFile(env.root + "/plain", "x");
    window->setUiIntallPathAndFreeSpace(env.root + "/plain");
    click("startInstallBtn1");
    ASSERT_TRUE(pumpUntil([&] { return page() == kFailedPage; }));
    EXPECT_FALSE(IsTimerRunning(hWnd, kBackgroundTimer));
    EXPECT_NE(failReason().find("无法创建安装目录"), std::string::npos) << failReason();

    window->setUiIntallPathAndFreeSpace(env.root);
    click("retryBtn");
    ASSERT_TRUE(pumpUntil([&] { return page() == kFailedPage; }));
    EXPECT_NE(failReason().find("HTTP 404"), std::string::npos) << failReason();
    EXPECT_EQ(packageRequests(), 5);
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
    std::string package = testsupport::readFile(packageFile);
    open();
    click("startInstallBtn1");
    ASSERT_TRUE(pumpUntil([&] { return page() == kFailedPage; }));
    EXPECT_NE(failReason().find("UnRAR"), std::string::npos) << failReason();

    // The archive kept for the retry is checked again: one changed since is
    // refused and deleted, and the next retry downloads the package anew.
    ASSERT_TRUE(uitest::restoreUnrarLibrary());
    std::string kept = install::archivePathFor(env.dataHome + nativePath("/win-ia32-unpacked"));
    ASSERT_EQ(testsupport::readFile(kept), package);
    testsupport::writeFile(kept, package.substr(0, package.size() - 1) + "!");
    click("retryBtn");
    ASSERT_TRUE(pumpUntil([&] { return page() == kFailedPage; }));
    EXPECT_NE(failReason().find("SHA-256"), std::string::npos) << failReason();
    EXPECT_FALSE(platform::fileExists(kept));
    click("retryBtn");
    ASSERT_TRUE(pumpUntil([&] { return page() == kFinishedPage; }));
    EXPECT_FALSE(IsTimerRunning(hWnd, kBackgroundTimer));
    EXPECT_EQ(packageRequests(), 2);
    EXPECT_EQ(events(),
              (std::vector<std::string>{"pc_click_install", "pc_Installing", "pc_click_install",
                                        "pc_Installing", "pc_click_install", "pc_Installing",
                                        "pc_install_success"}));
    click("openNewBtn");
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(hWnd); }));
    EXPECT_EQ(events().back(), "pc_click_use");
    EXPECT_TRUE(pumpUntil(
        [&] { return std::filesystem::exists(env.dataHome + "/win-ia32-unpacked/started"); }));
}

// A click before the install information arrived starts the run, which
// waits for it: the announced package when it comes (the built-in address
// is wrong here), the built-in address when the query fails.
TEST_F(FrameWindow, AClickBeforeTheInstallInformationWaitsForIt) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"--stall", "1.5", "--stall-path", "/v1/app/client/getInstallInfo"}, "/nothing.rar"},
        {{"--status", "/v1/app/client/getInstallInfo=500"}, kPackagePath},
    };
    ASSERT_TRUE(testsupport::makeRarPackage(packageFile, testsupport::recordingProduct()));
    std::vector<std::string> expected;  // one event store for both
    for (const auto& [faults, builtInPath] : rows) {
        open(faults, builtInPath);
        click("startInstallBtn1");
        // The backend logs a request once it has answered it.
        EXPECT_TRUE(builtInPath == kPackagePath ||
                    backendProcess->requests("GET /v1/app/client/getInstallInfo") == 0)
            << "the click waited for the backend";
        ASSERT_TRUE(pumpUntil([&] { return page() == kFinishedPage; })) << failReason();
        expected.insert(expected.end(),
                        {"pc_click_install", "pc_Installing", "pc_install_success"});
        EXPECT_EQ(events(), expected);
        DestroyWindow(hWnd);
        std::filesystem::remove_all(env.dataHome + nativePath("/win-ia32-unpacked"));
    }
}

// The run reports from its own thread; once the window is gone its posts are
// refused and the run still ends cleanly on its own.
TEST_F(FrameWindow, ARunOutlivesItsWindowWithoutTouchingIt) {
    ASSERT_TRUE(testsupport::makeRarPackage(
        packageFile, {{"hobnarAudio.exe", testsupport::randomBytes(3 * 1024 * 1024)}}));
    open();
    click("startInstallBtn1");
    DestroyWindow(hWnd);
    ASSERT_TRUE(pumpUntil([] {
        return platform::readRegistryString("SOFTWARE\\ZorozAvuzado", "DisplayPath") != "";
    }));
    EXPECT_EQ(PumpMessages(), 0);
}

}  // namespace
