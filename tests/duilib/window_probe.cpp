// Opens the installer's skin in a real window (GTK, on the display in
// $DISPLAY), shaped and dragged the way the installer's own window does it,
// waits until the window is mapped and painted, writes a screenshot and exits.
// Usage: duilib_window_probe <skin folder> <png>
// Exit codes: 0 written, 2 usage, 3 no display, 4 never mapped, 5 no screenshot,
// 6 a start-up switch of the window layer leaked into the environment.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "duilib/UIlib.h"

namespace {

using namespace DuiLib;

int g_exitCode = 4;

class ProbeWindow : public CWindowWnd, public INotifyUI {
  public:
    explicit ProbeWindow(std::string png) : m_png(std::move(png)) {}

    void Notify(TNotifyUI&) override {}

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        switch (msg) {
            case WM_CREATE:
                onCreate();
                return 0;
            case WM_SIZE:
                shape();
                break;
            case WM_NCHITTEST:
                return hitTest(lParam);
            case WM_TIMER:
                onTimer(wParam);
                break;
            case WM_DESTROY:
                PostQuitMessage(0);
                break;
            default:
                break;
        }
        LRESULT result = 0;
        if (m_pm.MessageHandler(msg, wParam, lParam, result)) {
            return result;
        }
        return CWindowWnd::HandleMessage(msg, wParam, lParam);
    }

  protected:
    const char* GetWindowClassName() const override { return "ProbeWindow"; }
    void OnFinalMessage(HWND) override { delete this; }

  private:
    void onCreate() {
        LONG style = GetWindowLongA(m_hWnd, GWL_STYLE);
        SetWindowLongA(m_hWnd, GWL_STYLE,
                       static_cast<LONG>((static_cast<DWORD>(style) & ~WS_CAPTION) |
                                         WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
        m_pm.Init(m_hWnd);
        CDialogBuilder builder;
        m_pm.AttachDialog(builder.Create("main.xml", static_cast<UINT>(0), nullptr, &m_pm));
        m_pm.AddNotifier(this);
        for (const char* box : {"readAndAgreeBtn1", "readAndAgreeBtn2"}) {
            if (auto* check = dynamic_cast<CCheckBoxUI*>(m_pm.FindControl(box))) {
                check->SetCheck(true, true);
            }
        }
        if (CControlUI* size = m_pm.FindControl("spaceRequired")) {
            size->SetText("350.00MB");
        }
        SetTimer(m_hWnd, 1, 100);
        SetTimer(m_hWnd, 2, 20000);
    }

    void shape() {
        SIZE corner = m_pm.GetRoundCorner();
        RECT rc;
        if (IsIconic(m_hWnd) || (corner.cx == 0 && corner.cy == 0) || !GetWindowRect(m_hWnd, &rc)) {
            return;
        }
        SetWindowRgn(m_hWnd,
                     CreateRoundRectRgn(0, 0, rc.right - rc.left + 1, rc.bottom - rc.top + 1,
                                        corner.cx, corner.cy),
                     TRUE);
    }

    LRESULT hitTest(LPARAM lParam) {
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
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

    // Capture one tick after the window is first seen mapped, so the first
    // paint has reached the screen.
    void onTimer(WPARAM id) {
        if (id == 2) {
            Close();
        } else if (IsWindowMapped(m_hWnd) && ++m_mappedTicks == 2) {
            g_exitCode = CaptureWindowPng(m_hWnd, m_png.c_str()) ? 0 : 5;
            Close();
        }
    }

    CPaintManagerUI m_pm;
    std::string m_png;
    int m_mappedTicks = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: duilib_window_probe <skin folder> <png>\n");
        return 2;
    }
    CPaintManagerUI::SetResourcePath(argv[1]);
    auto* window = new ProbeWindow(argv[2]);
    window->Create(nullptr, "安装包下载器", WS_VISIBLE | WS_OVERLAPPEDWINDOW, WS_EX_WINDOWEDGE);
    if (IsNullBackend()) {
        return 3;
    }
    // Switches the window layer sets for GTK's start-up must not reach the
    // programs the installer starts later.
    if (std::getenv("GDK_GL") != nullptr) {
        std::fprintf(stderr, "GDK_GL is still set after the window layer started\n");
        return 6;
    }
    window->ShowWindow(true, true);
    window->CenterWindow();
    CPaintManagerUI::MessageLoop();
    return g_exitCode;
}
