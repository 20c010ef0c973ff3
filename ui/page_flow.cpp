// What each click does and how the window moves between its pages.
#include <string>

#include "context/endpoints.h"
#include "context/installer_context.h"
#include "install/install.h"
#include "platform/platform.h"
#include "ui/frame_window.h"

using namespace DuiLib;

namespace {

constexpr UINT_PTR kBackgroundTimer = 1;
constexpr UINT kBackgroundMs = 2000;
constexpr int kInstallingPage = 2;
constexpr int kFinishedPage = 3;
constexpr int kFailedPage = 4;
constexpr DWORD kStartDisabledColor = 0xFFD8D8D8;
constexpr DWORD kStartEnabledColor = 0xFFFF4F4F;

void report(const char* event) {
    InstallerContext::instance().reportEvent(1, event);
}

const char* failureText(InstallFailure failure) {
    switch (failure) {
        case InstallFailure::DownloadFailed:
            return "安装包下载失败，请检查网络连接后重试。";
        case InstallFailure::ExtractFailed:
            return "安装包已损坏，解压失败，请重试。";
    }
    return "安装失败，请重试。";
}

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
        switchPage(1);
    } else if (name == "backbtn") {
        switchPage(0);
    } else if (name == "selectFileDirBtn") {
        CDuiString folder = BrowseForFolder(m_hWnd, "从下面选择文件或文件夹:");
        setUiIntallPathAndFreeSpace(folder.GetData());
    } else if (name == "startInstallBtn1" || name == "startInstallBtn2") {
        onStartClicked();
    } else if (name == "openNewBtn") {
        report("pc_click_use");
        // Started from an argument vector: no shell sees the path.
        platform::launchFile(m_exePath);
        Close(1);
    } else if (name == "readAndAgreeBtn1") {
        onAgreementClicked(name.c_str());
    } else if (name == "retryBtn") {
        lastReportedPercent = 0;
        showProgress(0);
        switchPage(kInstallingPage);
        startDownloadThread();
    }
    // "readAndAgreeBtn2" only toggles its own box.
}

void CFrameWindowWnd::onStartClicked() {
    startInstall();
    report("pc_click_install");
    switchPage(kInstallingPage);
    startDownloadThread();
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

void CFrameWindowWnd::switchPage(int page) {
    if (page == kInstallingPage) {
        report("pc_Installing");
        SetTimer(m_hWnd, kBackgroundTimer, kBackgroundMs);
    } else {
        KillTimer(m_hWnd, kBackgroundTimer);
    }
    if (auto* pages = dynamic_cast<CTabLayoutUI*>(m_pm.FindControl("switch"))) {
        pages->SelectItem(page, true);
    }
}

void CFrameWindowWnd::showFinishedPage() {
    KillTimer(m_hWnd, kBackgroundTimer);
    if (auto* pages = dynamic_cast<CTabLayoutUI*>(m_pm.FindControl("switch"))) {
        pages->SelectItem(kFinishedPage, true);
    }
}

void CFrameWindowWnd::showFailure(InstallFailure failure) {
    KillTimer(m_hWnd, kBackgroundTimer);
    if (CControlUI* reason = m_pm.FindControl("failReason")) {
        reason->SetText(failureText(failure));
    }
    if (auto* pages = dynamic_cast<CTabLayoutUI*>(m_pm.FindControl("switch"))) {
        pages->SelectItem(kFailedPage, true);
    }
}
