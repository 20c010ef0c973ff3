// What the window shows: its shape, the caption, the pages, the install
// location, progress and failures.

#include "context/installer_context.h"
#include "install/install.h"
#include "ui/frame_window.h"

namespace ui {

using namespace DuiLib;
using context::InstallerContext;

namespace {

constexpr UINT kBackgroundMs = 2000;

void selectPage(CPaintManagerUI& pm, int page) {
    if (auto* pages = dynamic_cast<CTabLayoutUI*>(pm.FindControl("switch"))) {
        pages->SelectItem(page, true);
    }
}

}  // namespace

int progressValue(double percent) {
    double value = percent > 1.0 ? percent : 0.0;  // NaN compares false: 0
    if (value > 2147483647.0) {
        return 2147483647;
    }
    return static_cast<int>(value);
}

void CFrameWindowWnd::applyRoundRegion() {
    SIZE corner = m_pm.GetRoundCorner();
    if (IsIconic(m_hWnd) || (corner.cx == 0 && corner.cy == 0)) {
        return;
    }
    RECT window;
    GetWindowRect(m_hWnd, &window);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    HRGN region = CreateRoundRectRgn(0, 0, width + 1, height + 1, corner.cx, corner.cy);
    SetWindowRgn(m_hWnd, region, TRUE);
}

// Empty caption area and any non-button control in it drag the window;
// buttons there stay clickable.
LRESULT CFrameWindowWnd::captionHitTest(LPARAM lParam) {
    POINT pt;
    pt.x = static_cast<SHORT>(lParam & 0xFFFF);
    pt.y = static_cast<SHORT>((lParam >> 16) & 0xFFFF);
    ScreenToClient(m_hWnd, &pt);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const RECT& caption = m_pm.GetCaptionRect();
    if (pt.x >= client.left + caption.left && pt.x < client.right - caption.right &&
        pt.y >= caption.top && pt.y < caption.bottom) {
        CControlUI* control = m_pm.FindControl(pt);
        if (control && std::string(control->GetClass()) != "Button") {
            return HTCAPTION;
        }
    }
    return HTCLIENT;
}

void CFrameWindowWnd::nextBackground() {
    size_t index = static_cast<size_t>(m_bkIndex++);
    const std::string& image = m_bkImages[index];
    if (static_cast<size_t>(m_bkIndex) >= m_bkImages.size()) {
        m_bkIndex = 0;
    }
    if (CControlUI* background = m_pm.FindControl("pollingBK")) {
        background->SetBkImage(image.c_str());
    }
}

void CFrameWindowWnd::showProgress(double percent) {
    int value = progressValue(percent);
    if (CControlUI* label = m_pm.FindControl("progresslbl")) {
        label->SetText((std::to_string(value) + "%").c_str());
    }
    if (auto* bar = dynamic_cast<CProgressUI*>(m_pm.FindControl("Progress"))) {
        bar->SetValue(value);
    }
}

void CFrameWindowWnd::setUiIntallPathAndFreeSpace(std::string folder) {
    if (folder.empty()) {
        platform::printText("path is empty!! setUiIntallPathAndFreeSpace failed. ");
        return;
    }
    std::string productFolder = install::productFolderFor(folder);
    m_installDir = productFolder;
    m_exePath = install::mainExecutableIn(productFolder);
    if (CControlUI* path = m_pm.FindControl("installPath")) {
        path->SetText(productFolder.c_str());
    }
    // Measured where the product will be, so a drive or file-system root
    // (trimmed to nothing) still shows its space.
    if (CControlUI* space = m_pm.FindControl("freeSpace")) {
        space->SetText(install::formatFreeSpace(productFolder).c_str());
    }
}

void CFrameWindowWnd::switchPage(int page) {
    if (page == kInstallingPage) {
        InstallerContext::instance().reportEvent(1, "pc_Installing");
        SetTimer(m_hWnd, kBackgroundTimer, kBackgroundMs);
    } else {
        KillTimer(m_hWnd, kBackgroundTimer);
    }
    selectPage(m_pm, page);
}

void CFrameWindowWnd::finishInstall() {
    KillTimer(m_hWnd, kBackgroundTimer);
    selectPage(m_pm, kFinishedPage);
}

void CFrameWindowWnd::showFailure(const install::InstallOutcome& outcome) {
    KillTimer(m_hWnd, kBackgroundTimer);
    if (CControlUI* reason = m_pm.FindControl("failReason")) {
        reason->SetText(install::failurePageText(outcome).c_str());
    }
    selectPage(m_pm, kFailedPage);
}

}  // namespace ui
