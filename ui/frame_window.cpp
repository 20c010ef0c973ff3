// The window's messages: creation, the rounded shape, caption dragging, the
// background animation and the updates posted by the download thread.
#include <cmath>

#include "context/installer_context.h"
#include "platform/platform.h"
#include "ui/frame_window.h"
#include "ui/window_link.h"

using namespace DuiLib;

namespace {

constexpr UINT_PTR kBackgroundTimer = 1;

}  // namespace

int progressValue(double percent) {
    double value = percent > 1.0 ? percent : 0.0;  // NaN compares false: 0
    if (value > 2147483647.0) {
        return 2147483647;
    }
    return static_cast<int>(value);
}

CFrameWindowWnd::CFrameWindowWnd() {
    m_bkImages.push_back("installingbk2.png");
    m_bkImages.push_back("installingbk1.png");
    InstallerContext::instance().downloadDoneCallback = [window = this] {
        finishInstallFor(window);
    };
}

LRESULT CFrameWindowWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_CREATE:
            return onCreate();
        case WM_DESTROY:
            forgetLiveWindow(this);
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
            showFinishedPage();
            return 0;
        case WM_INSTALL_FAILED:
            showFailure(static_cast<InstallFailure>(wParam));
            return 0;
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
    LONG style = GetWindowLongA(m_hWnd, GWL_STYLE);
    style = static_cast<LONG>((static_cast<DWORD>(style) & 0xFF3FFFFFu) | WS_CLIPSIBLINGS |
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

    InstallerContext& context = InstallerContext::instance();
    context.mainWindow = this;
    context.progressCallback = &CFrameWindowWnd::onProgress;
    rememberLiveWindow(this, m_hWnd);

    if (CControlUI* label = m_pm.FindControl("spaceRequired")) {
        label->SetText(context.getSize().c_str());
    }
    return 0;
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

void CFrameWindowWnd::onProgress(double percent, void* window) {
    postToLiveWindow(window, WM_INSTALL_PROGRESS, static_cast<WPARAM>(progressValue(percent)));
}
