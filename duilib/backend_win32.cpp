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
// - The program is aware of each monitor's DPI (its manifest): the layer
//   works in skin pixels, and this backend alone turns them into device
//   pixels (WindowRecord::scale) for the real window, its region, input and
//   painting; WM_DPICHANGED rescales a window moved to another monitor.
#include "duilib/window_layer.h"
#include "platform/platform.h"

// Windows' headers after the framework's: see render_gdiplus.h.
#include "duilib/render_gdiplus.h"

#include <shlobj.h>

#include <atomic>
#include <cmath>
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

constexpr double kBaseDpi = 96.0;
constexpr ::UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED, Windows 8.1 and later

double scaleOf(HWND handle) {
    WindowRecord* w = WindowLayer::find(handle);
    return w ? w->scale : 1.0;
}

LONG toDevice(LONG value, double scale) {
    return static_cast<LONG>(std::lround(value * scale));
}

LONG toSkin(long value, double scale) {
    return static_cast<LONG>(std::lround(value / scale));
}

// A point of a mouse message, in skin pixels.
POINT pointOf(::LPARAM lParam, double scale) {
    return POINT{toSkin(GET_X_LPARAM(static_cast<LPARAM>(lParam)), scale),
                 toSkin(GET_Y_LPARAM(static_cast<LPARAM>(lParam)), scale)};
}

LPARAM skinParam(::LPARAM lParam, double scale) {
    POINT pt = pointOf(lParam, scale);
    return MAKELPARAM(pt.x, pt.y);
}

RECT rectOf(const ::RECT& rc, double scale = 1.0) {
    return RECT{toSkin(rc.left, scale), toSkin(rc.top, scale), toSkin(rc.right, scale),
                toSkin(rc.bottom, scale)};
}

::RECT deviceRect(const RECT& rc, double scale) {
    return ::RECT{toDevice(rc.left, scale), toDevice(rc.top, scale), toDevice(rc.right, scale),
                  toDevice(rc.bottom, scale)};
}

// GetDpiForWindow and GetDpiForSystem exist from Windows 10 1607 on; before
// that the screen's logical DPI is the system's for every window.
::UINT dpiOf(::HWND real) {
    using DpiForWindow = ::UINT(WINAPI*)(::HWND);
    static const auto forWindow = reinterpret_cast<DpiForWindow>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    ::UINT dpi = real && forWindow ? forWindow(real) : 0;
    if (dpi == 0) {
        ::HDC screen = ::GetDC(nullptr);
        dpi = static_cast<::UINT>(::GetDeviceCaps(screen, LOGPIXELSX));
        ::ReleaseDC(nullptr, screen);
    }
    return dpi == 0 ? static_cast<::UINT>(kBaseDpi) : dpi;
}

void paintWindow(HWND handle, ::HWND real) {
    ::PAINTSTRUCT ps;
    ::HDC dc = ::BeginPaint(real, &ps);
    ::RECT client{};
    ::GetClientRect(real, &client);
    paintDoubleBuffered(
        dc, client.right, client.bottom,
        [handle](CRenderContext& context) { WindowLayer::paint(handle, context); },
        scaleOf(handle));
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
        WindowLayer::setRect(handle, rectOf(rc, w->scale), true);
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
            result =
                WindowLayer::dispatch(handle, WM_NCHITTEST, 0, skinParam(lParam, scaleOf(handle)));
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
            WindowLayer::dispatch(handle, WM_LBUTTONDOWN, MK_LBUTTON,
                                  skinParam(lParam, scaleOf(handle)));
            return true;
        case WM_LBUTTONUP:
            if (::GetCapture() == real) {
                ::ReleaseCapture();
            }
            WindowLayer::mouseUp(handle, pointOf(lParam, scaleOf(handle)));
            return true;
        case WM_MOUSEMOVE: {
            ::TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, real, 0};
            ::TrackMouseEvent(&leave);
            WindowLayer::mouseMove(handle, pointOf(lParam, scaleOf(handle)));
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

// The window's region in device pixels, rounded corners scaled with it.
void applyScaledRegion(const WindowRecord& w, ::HWND real) {
    if (!w.region) {
        ::SetWindowRgn(real, nullptr, TRUE);
        return;
    }
    const HRGN__& r = *w.region;
    ::RECT rc = deviceRect(r.rc, w.scale);
    ::HRGN shape =
        ::CreateRoundRectRgn(rc.left, rc.top, rc.right, rc.bottom,
                             toDevice(r.ellipseWidth, w.scale), toDevice(r.ellipseHeight, w.scale));
    // The system owns a region once the window has it.
    if (shape && !::SetWindowRgn(real, shape, TRUE)) {
        ::DeleteObject(shape);
    }
}

// Moved to a monitor of another DPI: the size Windows suggests is the same
// skin at the new scale.
void rescale(HWND handle, ::HWND real, ::UINT dpi, const ::RECT& suggested) {
    WindowRecord* w = WindowLayer::find(handle);
    if (!w || dpi == 0) {
        return;
    }
    w->scale = dpi / kBaseDpi;
    ::SetWindowPos(real, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    applyScaledRegion(*w, real);
    ::InvalidateRect(real, nullptr, FALSE);
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
        case kDpiChanged:
            rescale(handle, real, LOWORD(wParam), *reinterpret_cast<const ::RECT*>(lParam));
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
        w.scale = dpiOf(nullptr) / kBaseDpi;
        ::RECT rc = deviceRect(w.rect, w.scale);
        ::HWND real = ::CreateWindowExW(w.exStyle, className.c_str(),
                                        platform::toWide(w.title).c_str(), w.style & ~WS_VISIBLE,
                                        rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                                        nullptr, nullptr, ::GetModuleHandleW(nullptr), w.handle);
        w.native = real;
        if (!real) {
            platform::debugOutput("duilib: CreateWindowExW failed, error " +
                                  std::to_string(::GetLastError()));
            return false;
        }
        // Made on a monitor of another DPI than the system's.
        double scale = dpiOf(real) / kBaseDpi;
        if (scale != w.scale) {
            w.scale = scale;
            place(w);
        }
        return true;
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
            ::RECT rc = deviceRect(w.rect, w.scale);
            ::SetWindowPos(real, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }

    void invalidate(WindowRecord& w) override {
        if (::HWND real = realOf(w)) {
            ::InvalidateRect(real, nullptr, FALSE);
        }
    }

    void applyRegion(WindowRecord& w) override {
        if (::HWND real = realOf(w)) {
            applyScaledRegion(w, real);
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
            ::PostMessageW(real, WM_NCLBUTTONDOWN, HTCAPTION,
                           MAKELPARAM(toDevice(screen.x, w.scale), toDevice(screen.y, w.scale)));
        }
    }

    RECT workArea() override {
        ::RECT area{0, 0, 1024, 768};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        return rectOf(area, dpiOf(nullptr) / kBaseDpi);
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
