// The Win32 backend: a real top-level window for each framework window,
// painted by the framework through GDI+ into a buffer that is then copied to
// the screen at once; Windows' own loop (GetMessageW, DispatchMessageW) is
// the message loop.
//
// - The real window has the framework window's class name and class style,
//   and its style and extended style, kept in step with SetWindowLongA.  Its
//   client area covers the whole window, so once the window code has cleared
//   WS_CAPTION nothing of a frame is left.
// - The framework's WM_NCHITTEST answer is the real window's: on HTCAPTION
//   Windows itself moves the window.
// - Posted messages stay in the window layer's queue, which drops those of a
//   destroyed window.  A post from any thread wakes the window thread
//   through a message-only window, which then delivers the queue; it works
//   inside modal loops (a window being moved, the folder dialog) too.
// - Window procedures are plain CALLBACK functions (stdcall on i686).
#include "duilib/window_layer.h"
#include "platform/platform.h"

// Windows' headers after the framework's: see render_gdiplus.h.
#include "duilib/render_gdiplus.h"

#include <shlobj.h>

#include <atomic>
#include <set>

namespace {

// Outside DuiLib: the macro names HWND unqualified, which in there would be
// the framework's handle type.
const ::HWND kMessageOnlyParent = HWND_MESSAGE;

}  // namespace

namespace DuiLib {
namespace {

// Sent to the wake window: deliver the framework's posted messages.
constexpr ::UINT kDeliverPosted = WM_APP + 1;
const wchar_t* const kWakeWindowClass = L"DuiLibWakeWindow";
// BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_NEWDIALOGSTYLE.
constexpr ::UINT kFolderDialogFlags = 0x43;
static_assert(kFolderDialogFlags ==
                  (BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_NEWDIALOGSTYLE),
              "folder dialog flags");

::HWND realOf(const WindowRecord& w) {
    return static_cast<::HWND>(w.native);
}

// The framework window a real one shows; nullptr before that is known and
// after the framework has let go of it.
HWND handleOf(::HWND real) {
    return reinterpret_cast<HWND>(::GetWindowLongPtrW(real, GWLP_USERDATA));
}

POINT pointOf(::LPARAM lParam) {
    return POINT{GET_X_LPARAM(static_cast<LPARAM>(lParam)),
                 GET_Y_LPARAM(static_cast<LPARAM>(lParam))};
}

RECT rectOf(const ::RECT& rc) {
    return RECT{static_cast<LONG>(rc.left), static_cast<LONG>(rc.top), static_cast<LONG>(rc.right),
                static_cast<LONG>(rc.bottom)};
}

void paintWindow(HWND handle, ::HWND real) {
    ::PAINTSTRUCT ps;
    ::HDC dc = ::BeginPaint(real, &ps);
    ::RECT client{};
    ::GetClientRect(real, &client);
    paintDoubleBuffered(dc, client.right, client.bottom,
                        [handle](CRenderContext& context) { WindowLayer::paint(handle, context); });
    ::EndPaint(real, &ps);
}

// Moved, sized, shown or hidden by anyone: the framework's record follows.
// A minimised window keeps its rectangle, and so its layout.
void followPlacement(HWND handle, ::HWND real, const ::WINDOWPOS& pos) {
    WindowRecord* w = WindowLayer::find(handle);
    if (!w) {
        return;
    }
    if (pos.flags & SWP_SHOWWINDOW) {
        w->mapped = true;
    }
    if (pos.flags & SWP_HIDEWINDOW) {
        w->mapped = false;
        w->painted = false;
    }
    w->iconic = ::IsIconic(real) != FALSE;
    ::RECT rc;
    if (!w->iconic && ::GetWindowRect(real, &rc)) {
        WindowLayer::setRect(handle, rectOf(rc), true);
    }
}

// No frame: the client area is the whole window, nothing of a frame is
// painted, and what a point is (caption or client) is the framework's answer.
bool frameMessage(HWND handle, ::UINT msg, ::WPARAM wParam, ::LPARAM lParam, ::LRESULT& result) {
    switch (msg) {
        case WM_NCCALCSIZE:
        case WM_NCPAINT:
            result = 0;
            return true;
        case WM_ERASEBKGND:
        case WM_NCACTIVATE:
            result = TRUE;
            return true;
        case WM_NCHITTEST:
            result = WindowLayer::dispatch(handle, WM_NCHITTEST, 0, static_cast<LPARAM>(lParam));
            return true;
        case WM_NCLBUTTONDBLCLK:
            // On the caption it would maximise the window.
            result = 0;
            return wParam == HTCAPTION;
        default:
            return false;
    }
}

// Keys as the GTK backend reports them: Tab (with Shift), Enter, Esc, Space.
bool keyDown(HWND handle, ::WPARAM key) {
    switch (key) {
        case VK_TAB:
        case VK_RETURN:
        case VK_ESCAPE:
        case VK_SPACE:
            WindowLayer::key(handle, static_cast<UINT>(key), ::GetKeyState(VK_SHIFT) < 0);
            return true;
        default:
            return false;
    }
}

// A press reaches here only where the hit test answered HTCLIENT.
bool inputMessage(HWND handle, ::HWND real, ::UINT msg, ::WPARAM wParam, ::LPARAM lParam) {
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            // Held until the release, so a press let go outside still ends.
            ::SetCapture(real);
            WindowLayer::dispatch(handle, WM_LBUTTONDOWN, MK_LBUTTON, static_cast<LPARAM>(lParam));
            return true;
        case WM_LBUTTONUP:
            if (::GetCapture() == real) {
                ::ReleaseCapture();
            }
            WindowLayer::mouseUp(handle, pointOf(lParam));
            return true;
        case WM_MOUSEMOVE: {
            ::TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, real, 0};
            ::TrackMouseEvent(&leave);
            WindowLayer::mouseMove(handle, pointOf(lParam));
            return true;
        }
        case WM_MOUSELEAVE:
            WindowLayer::mouseLeave(handle);
            return true;
        case WM_KEYDOWN:
            return keyDown(handle, wParam);
        default:
            return false;
    }
}

bool windowMessage(HWND handle, ::HWND real, ::UINT msg, ::WPARAM wParam, ::LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            // The framework sends its own WM_CREATE once the window exists.
            return true;
        case WM_PAINT:
            paintWindow(handle, real);
            return true;
        case WM_TIMER:
            WindowLayer::timerTick(handle, static_cast<UINT_PTR>(wParam));
            return true;
        case WM_CLOSE:
            // Closing is the window code's decision, not the system's.
            WindowLayer::dispatch(handle, WM_CLOSE, 0, 0);
            return true;
        case WM_WINDOWPOSCHANGED:
            followPlacement(handle, real, *reinterpret_cast<const ::WINDOWPOS*>(lParam));
            return true;
        default:
            return false;
    }
}

::LRESULT CALLBACK windowProc(::HWND real, ::UINT msg, ::WPARAM wParam, ::LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const ::CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(real, GWLP_USERDATA,
                            reinterpret_cast<::LONG_PTR>(create->lpCreateParams));
    }
    HWND handle = handleOf(real);
    ::LRESULT result = 0;
    if (handle && (frameMessage(handle, msg, wParam, lParam, result) ||
                   inputMessage(handle, real, msg, wParam, lParam) ||
                   windowMessage(handle, real, msg, wParam, lParam))) {
        return result;
    }
    return ::DefWindowProcW(real, msg, wParam, lParam);
}

class Win32Backend : public WindowBackend {
  public:
    Win32Backend() {
        ::WNDCLASSEXW wake{};
        wake.cbSize = sizeof wake;
        wake.lpfnWndProc = wakeProc;
        wake.hInstance = ::GetModuleHandleW(nullptr);
        wake.lpszClassName = kWakeWindowClass;
        ::RegisterClassExW(&wake);
        m_wakeWindow = ::CreateWindowExW(0, kWakeWindowClass, L"", 0, 0, 0, 0, 0,
                                         kMessageOnlyParent, nullptr, wake.hInstance, nullptr);
        if (m_wakeWindow) {
            ::SetWindowLongPtrW(m_wakeWindow, GWLP_USERDATA, reinterpret_cast<::LONG_PTR>(this));
        }
    }
    ~Win32Backend() override {
        if (m_wakeWindow) {
            ::DestroyWindow(m_wakeWindow);
        }
    }
    Win32Backend(const Win32Backend&) = delete;
    Win32Backend& operator=(const Win32Backend&) = delete;

    bool ready() const { return m_wakeWindow != nullptr; }
    bool isNull() const override { return false; }

    bool createNative(WindowRecord& w) override {
        std::wstring className = platform::toWide(w.className);
        if (!registerClass(className, w.classStyle)) {
            platform::debugOutput("duilib: cannot register the window class " + w.className);
            return false;
        }
        w.native = ::CreateWindowExW(w.exStyle, className.c_str(),
                                     platform::toWide(w.title).c_str(), w.style & ~WS_VISIBLE,
                                     w.rect.left, w.rect.top, widthOf(w.rect), heightOf(w.rect),
                                     nullptr, nullptr, ::GetModuleHandleW(nullptr), w.handle);
        if (!w.native) {
            platform::debugOutput("duilib: CreateWindowExW failed, error " +
                                  std::to_string(::GetLastError()));
        }
        return w.native != nullptr;
    }

    // The real window is cut loose first: its last messages reach nobody.
    void destroyNative(WindowRecord& w) override {
        if (::HWND real = realOf(w)) {
            ::SetWindowLongPtrW(real, GWLP_USERDATA, 0);
            ::DestroyWindow(real);
            w.native = nullptr;
        }
    }

    void show(WindowRecord& w, bool visible, bool takeFocus) override {
        if (::HWND real = realOf(w)) {
            ::ShowWindow(real, !visible ? SW_HIDE : (takeFocus ? SW_SHOW : SW_SHOWNOACTIVATE));
            if (visible && takeFocus) {
                ::SetForegroundWindow(real);
            }
        }
    }

    void place(WindowRecord& w) override {
        if (::HWND real = realOf(w)) {
            ::SetWindowPos(real, nullptr, w.rect.left, w.rect.top, widthOf(w.rect),
                           heightOf(w.rect), SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }

    void invalidate(WindowRecord& w) override {
        if (::HWND real = realOf(w)) {
            ::InvalidateRect(real, nullptr, FALSE);
        }
    }

    // The system owns a region once the window has it.
    void applyRegion(WindowRecord& w) override {
        ::HWND real = realOf(w);
        if (!real) {
            return;
        }
        if (!w.region) {
            ::SetWindowRgn(real, nullptr, TRUE);
            return;
        }
        const HRGN__& r = *w.region;
        ::HRGN shape = ::CreateRoundRectRgn(r.rc.left, r.rc.top, r.rc.right, r.rc.bottom,
                                            r.ellipseWidth, r.ellipseHeight);
        if (shape && !::SetWindowRgn(real, shape, TRUE)) {
            ::DeleteObject(shape);
        }
    }

    // The real window's own visibility stays as show() left it; a change of
    // the frame bits takes effect with SWP_FRAMECHANGED.
    void applyStyle(WindowRecord& w) override {
        ::HWND real = realOf(w);
        if (!real) {
            return;
        }
        ::LONG visible = ::GetWindowLongW(real, GWL_STYLE) & static_cast<::LONG>(WS_VISIBLE);
        ::SetWindowLongW(real, GWL_STYLE, static_cast<::LONG>(w.style & ~WS_VISIBLE) | visible);
        ::SetWindowLongW(real, GWL_EXSTYLE, static_cast<::LONG>(w.exStyle));
        ::SetWindowPos(real, nullptr, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }

    void startTimer(WindowRecord& w, UINT_PTR id) override {
        if (::HWND real = realOf(w)) {
            ::SetTimer(real, id, w.timers[id].elapseMs, nullptr);
        }
    }

    void stopTimer(WindowRecord& w, UINT_PTR id) override {
        if (::HWND real = realOf(w)) {
            ::KillTimer(real, id);
        }
    }

    // Real presses on the caption are Windows' to drag; this serves presses
    // made by a program (SimulateClick), posted so the move runs in the loop.
    void beginDrag(WindowRecord& w, POINT screen) override {
        if (::HWND real = realOf(w)) {
            ::ReleaseCapture();
            ::PostMessageW(real, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
        }
    }

    RECT workArea() override {
        ::RECT area{0, 0, 1024, 768};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        return rectOf(area);
    }

    // Any thread; at most one delivery request waits at a time.
    void wake() override {
        if (!m_deliveryPending.exchange(true) &&
            !::PostMessageW(m_wakeWindow, kDeliverPosted, 0, 0)) {
            m_deliveryPending = false;
        }
    }

    int run() override {
        int exitCode = 0;
        if (WindowLayer::takeQuit(&exitCode)) {
            return exitCode;
        }
        m_running = true;
        ::MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        m_running = false;
        WindowLayer::takeQuit(&exitCode);
        return exitCode;
    }

    // The exit code is the layer's; WM_QUIT only ends the loop (a modal loop
    // on the way passes it on).  Asked for outside the loop, run() sees the
    // request when it starts, and no WM_QUIT is left to end a later one.
    void quit() override {
        if (m_running) {
            ::PostQuitMessage(0);
        }
    }

    bool capture(WindowRecord& w, const std::string& path) override {
        ::RECT rc;
        ::HWND real = realOf(w);
        return real && w.mapped && ::GetWindowRect(real, &rc) && captureScreenPng(rectOf(rc), path);
    }

    // Owned by the installer's window, which stays disabled while the
    // dialog's own loop runs: otherwise a click could close the window (or
    // start a second install) under the dialog's caller.
    std::string chooseFolder(WindowRecord* owner, const std::string& title) override {
        // The new dialog style needs COM on this thread.
        ::HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        std::wstring wideTitle = platform::toWide(title);
        ::BROWSEINFOW info{};
        info.hwndOwner = owner ? realOf(*owner) : nullptr;
        info.lpszTitle = wideTitle.c_str();
        info.ulFlags = kFolderDialogFlags;
        std::string chosen;
        if (::LPITEMIDLIST picked = ::SHBrowseForFolderW(&info)) {
            wchar_t path[MAX_PATH] = {};
            if (::SHGetPathFromIDListW(picked, path)) {
                chosen = platform::fromWide(path);
            }
            ::CoTaskMemFree(picked);
        }
        if (SUCCEEDED(com)) {
            ::CoUninitialize();
        }
        return chosen;
    }

  private:
    bool registerClass(const std::wstring& name, UINT classStyle) {
        if (m_classes.count(name)) {
            return true;
        }
        ::WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = classStyle;
        wc.lpfnWndProc = windowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = name.c_str();
        if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            return false;
        }
        m_classes.insert(name);
        return true;
    }

    static ::LRESULT CALLBACK wakeProc(::HWND real, ::UINT msg, ::WPARAM wParam, ::LPARAM lParam) {
        if (msg != kDeliverPosted) {
            return ::DefWindowProcW(real, msg, wParam, lParam);
        }
        auto* self = reinterpret_cast<Win32Backend*>(::GetWindowLongPtrW(real, GWLP_USERDATA));
        if (self) {
            self->m_deliveryPending = false;
            WindowLayer::drainPosted();
        }
        return 0;
    }

    ::HWND m_wakeWindow = nullptr;
    std::atomic<bool> m_deliveryPending{false};
    bool m_running = false;
    std::set<std::wstring> m_classes;
};

}  // namespace

std::unique_ptr<WindowBackend> makeWin32Backend() {
    auto backend = std::make_unique<Win32Backend>();
    if (!backend->ready()) {
        return nullptr;
    }
    return backend;
}

}  // namespace DuiLib
