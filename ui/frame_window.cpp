// The window's life and its messages: creation, the updates an install run
// posts, and default handling.
#include "ui/frame_window.h"

#include "context/installer_context.h"
#include "platform/platform.h"

namespace ui {

using namespace DuiLib;
using install::InstallFailure;
using install::InstallOutcome;

CFrameWindowWnd::CFrameWindowWnd() {
    m_bkImages.push_back("installingbk2.png");
    m_bkImages.push_back("installingbk1.png");
}

LRESULT CFrameWindowWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_CREATE:
            return onCreate();
        case WM_DESTROY:
            PostQuitMessage(0);
            break;
        case WM_SIZE:
            applyRoundRegion();
            break;
        case WM_NCCALCSIZE:
        case WM_NCPAINT:
            return 0;
        case WM_NCHITTEST:
            return captionHitTest(lParam);
        case WM_NCACTIVATE:
            if (!IsIconic(m_hWnd)) {
                return wParam == 0 ? 1 : 0;
            }
            break;
        case WM_TIMER:
            if (wParam == kBackgroundTimer) {
                nextBackground();
            }
            break;
        case WM_INSTALL_PROGRESS:
            showProgress(static_cast<double>(wParam));
            return 0;
        case WM_INSTALL_FINISHED:
            finishInstall();
            return 0;
        case WM_PACKAGE_SIZE:
            showPackageSize();
            return 0;
        case WM_INSTALL_FAILED: {
            InstallOutcome outcome{static_cast<InstallFailure>(wParam), static_cast<long>(lParam),
                                   ""};
            m_archiveWhole = outcome.failure == InstallFailure::UnrarMissing;
            showFailure(outcome);
            return 0;
        }
        default:
            break;
    }
    return defaultHandling(uMsg, wParam, lParam);
}

LRESULT CFrameWindowWnd::defaultHandling(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (m_pm.MessageHandler(uMsg, wParam, lParam, result)) {
        return result;
    }
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

void CFrameWindowWnd::OnFinalMessage(HWND) {
    delete this;
}

LRESULT CFrameWindowWnd::onCreate() {
    // The skin draws its own caption.
    LONG style = GetWindowLongA(m_hWnd, GWL_STYLE);
    style = static_cast<LONG>((static_cast<DWORD>(style) & ~WS_CAPTION) | WS_CLIPSIBLINGS |
                              WS_CLIPCHILDREN);
    SetWindowLongA(m_hWnd, GWL_STYLE, style);
    m_pm.Init(m_hWnd, nullptr);

    CDialogBuilder builder;
    CControlUI* root = builder.Create("main.xml", nullptr, nullptr, &m_pm, nullptr);
    m_pm.AttachDialog(root);
    m_pm.AddNotifier(this);

    setUiIntallPathAndFreeSpace(platform::roamingAppDataDir());
    for (const char* box : {"readAndAgreeBtn1", "readAndAgreeBtn2"}) {
        if (auto* check = dynamic_cast<CCheckBoxUI*>(m_pm.FindControl(box))) {
            check->SetCheck(true, true);
        }
    }
    askForPackageSize();
    return 0;
}

// The answer fills the label whenever it comes; the window does not wait.
void CFrameWindowWnd::askForPackageSize() {
    if (m_pm.FindControl("spaceRequired") == nullptr) {
        return;
    }
    std::shared_ptr<SizeMailbox> mailbox = m_sizeMailbox;
    HWND window = m_hWnd;
    context::InstallerContext::instance().requestSize([mailbox, window](const std::string& text) {
        {
            std::lock_guard<std::mutex> lock(mailbox->mutex);
            mailbox->text = text;
        }
        DuiLib::PostMessage(window, WM_PACKAGE_SIZE, 0, 0);
    });
}

void CFrameWindowWnd::showPackageSize() {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(m_sizeMailbox->mutex);
        text = m_sizeMailbox->text;
    }
    if (CControlUI* label = m_pm.FindControl("spaceRequired")) {
        label->SetText(text.c_str());
    }
}

}  // namespace ui
