// What each click does, and the install run the start buttons begin.
#include <string>

#include "context/endpoints.h"
#include "context/installer_context.h"
#include "install/install.h"
#include "platform/platform.h"
#include "ui/frame_window.h"

namespace ui {

using namespace DuiLib;
using context::InstallerContext;
using install::InstallOutcome;

namespace {

constexpr DWORD kStartDisabledColor = 0xFFD8D8D8;
constexpr DWORD kStartEnabledColor = 0xFFFF4F4F;

// Queued: the click's effect never waits for the backend.
void report(const char* event) {
    InstallerContext::instance().reportEvent(1, event);
}

// Hears the run on the download thread and hands everything to the window
// thread by posting to the window's handle; a handle whose window is gone
// refuses the post.
class WindowObserver : public install::InstallObserver {
  public:
    explicit WindowObserver(HWND hWnd) : m_hWnd(hWnd) {}
    void onProgress(int percent, double) override {
        PostMessage(m_hWnd, WM_INSTALL_PROGRESS, static_cast<WPARAM>(percent), 0);
    }
    void onEntryUnpacked(const std::string&) override {}
    void onFinished() override { PostMessage(m_hWnd, WM_INSTALL_FINISHED, 0, 0); }
    void onFailed(const InstallOutcome& outcome) override {
        PostMessage(m_hWnd, WM_INSTALL_FAILED, static_cast<WPARAM>(outcome.failure),
                    static_cast<LPARAM>(outcome.httpStatus));
    }

  private:
    HWND m_hWnd;
};

}  // namespace

void CFrameWindowWnd::Notify(TNotifyUI& msg) {
    if (msg.sType != "click" || msg.pSender == nullptr) {
        return;
    }
    const std::string name = msg.pSender->GetName().GetData();
    if (name == "closebtn" || name == "failCloseBtn") {
        report("pc_close_install");
        Close(1);
    } else if (name == "userProtocolBtn") {
        platform::openWithDefaultHandler(endpoints::kAgreementUrl);
    } else if (name == "customInstallBtn") {
        report("pc_install_custom");
        switchPage(kCustomPage);
    } else if (name == "backbtn") {
        switchPage(kStartPage);
    } else if (name == "selectFileDirBtn") {
        CDuiString folder = BrowseForFolder(m_hWnd, "从下面选择文件或文件夹:");
        setUiIntallPathAndFreeSpace(folder.GetData());
    } else if (name == "startInstallBtn1" || name == "startInstallBtn2" || name == "retryBtn") {
        onStartClicked();
    } else if (name == "openNewBtn") {
        report("pc_click_use");
        // Started from an argument vector: no shell sees the path.
        platform::launchFile(m_exePath);
        Close(1);
    } else if (name == "readAndAgreeBtn1") {
        onAgreementClicked(name.c_str());
    }
    // "readAndAgreeBtn2" only toggles its own box.
}

// A retry is a click to install like the first one, with the same events.
void CFrameWindowWnd::onStartClicked() {
    showProgress(0);
    startInstall();
    report("pc_click_install");
    switchPage(kInstallingPage);
    startInstallThread();
}

// The click arrives before the box toggles, so the state read is the old one.
void CFrameWindowWnd::onAgreementClicked(const char* boxName) {
    auto* box = dynamic_cast<CCheckBoxUI*>(m_pm.FindControl(boxName));
    if (!box) {
        return;
    }
    bool wasChecked = box->GetCheck();
    if (CControlUI* start = m_pm.FindControl("startInstallBtn1")) {
        start->SetEnabled(!wasChecked);
        start->SetBkColor(wasChecked ? kStartDisabledColor : kStartEnabledColor);
    }
    if (CControlUI* custom = m_pm.FindControl("customInstallBtn")) {
        custom->SetEnabled(!wasChecked);
    }
}

// The product folder is the one setUiIntallPathAndFreeSpace last showed.  A
// click before the install information has arrived starts the run all the
// same: it waits for the information on its own thread.
void CFrameWindowWnd::startInstall() {
    m_exePath = install::mainExecutableIn(m_installDir);
    InstallerContext& context = InstallerContext::instance();
    install::InstallPlan plan = context::planFor(context, m_installDir);
    plan.reuseWholeArchive = m_archiveWhole;
    m_run = std::make_unique<install::InstallRun>(plan, context,
                                                  std::make_unique<WindowObserver>(m_hWnd));
    // A folder that cannot be made is reported by the run, from its thread.
    m_run->startInstall();
}

void CFrameWindowWnd::startInstallThread() {
    if (m_run) {
        install::InstallRun::startDetached(std::move(m_run));
    }
}

}  // namespace ui
