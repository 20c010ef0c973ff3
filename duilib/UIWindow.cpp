// The window layer: live windows, posted messages, timers and input
// translation, shared by the GTK and NULL backends; CWindowWnd and the
// Win32-like window functions on top of it.
#include "duilib/UIWindow.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "duilib/UIDriver.h"
#include "duilib/window_layer.h"
#include "platform/platform.h"

namespace DuiLib {
namespace {

struct PostedMessage {
    HWND hWnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    unsigned long long sequence;
};

// The one piece of state other threads reach (through PostMessage and
// IsWindow): the table of live handles and the queue share one mutex, so a
// message is either queued before its window dies (and purged with it) or
// refused.  Never destroyed, so threads still posting at exit find it alive.
struct LayerState {
    std::mutex mutex;
    std::condition_variable wakeUp;
    std::unordered_map<std::uintptr_t, std::unique_ptr<WindowRecord>> windows;
    std::uintptr_t nextHandle = 1;
    std::deque<PostedMessage> queue;
    unsigned long long nextSequence = 1;
    bool quit = false;
    int quitCode = 0;
    bool forceNull = false;
    bool shiftDown = false;
    std::once_flag backendOnce;
    std::unique_ptr<WindowBackend> backend;
};

LayerState& state() {
    static LayerState* s = new LayerState;
    return *s;
}

std::uintptr_t slotOf(HWND hWnd) {
    return reinterpret_cast<std::uintptr_t>(hWnd);
}

DWORD tickCount() {
    using namespace std::chrono;
    return static_cast<DWORD>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

LONG width(const RECT& rc) {
    return rc.right - rc.left;
}
LONG height(const RECT& rc) {
    return rc.bottom - rc.top;
}

}  // namespace

// ---- The layer ----------------------------------------------------------------------

WindowBackend& WindowLayer::backend() {
    LayerState& s = state();
    std::call_once(s.backendOnce, [&s] {
        const char* choice = std::getenv("DUILIB_BACKEND");
        if (!s.forceNull && !(choice && std::strcmp(choice, "null") == 0)) {
            s.backend = makeGtkBackend();
            if (!s.backend) {
                platform::debugOutput("duilib: no display; windows run without one");
            }
        }
        if (!s.backend) {
            s.backend = makeNullBackend();
        }
    });
    return *s.backend;
}

WindowRecord* WindowLayer::find(HWND hWnd) {
    LayerState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto found = s.windows.find(slotOf(hWnd));
    return found == s.windows.end() ? nullptr : found->second.get();
}

std::vector<HWND> WindowLayer::liveWindows() {
    LayerState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::vector<HWND> handles;
    for (const auto& entry : s.windows) {
        handles.push_back(entry.second->handle);
    }
    return handles;
}

LRESULT WindowLayer::dispatch(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WindowRecord* w = find(hWnd);
    return (w && w->owner) ? w->owner->HandleMessage(msg, wParam, lParam) : 0;
}

HWND WindowLayer::createWindow(CWindowWnd& owner, const char* title, DWORD style, DWORD exStyle,
                               const RECT& rect) {
    auto record = std::make_unique<WindowRecord>();
    record->owner = &owner;
    record->title = title ? title : "";
    record->className = owner.GetWindowClassName();
    record->style = style & ~WS_VISIBLE;  // set once really shown
    record->exStyle = exStyle;
    record->rect = rect;
    WindowRecord* w = record.get();
    LayerState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        w->handle = reinterpret_cast<HWND>(s.nextHandle++);
        s.windows[slotOf(w->handle)] = std::move(record);
    }
    backend().createNative(*w);
    return w->handle;
}

BOOL WindowLayer::destroyWindow(HWND hWnd) {
    WindowRecord* w = find(hWnd);
    if (!w || w->destroying) {
        return FALSE;
    }
    w->destroying = true;
    dispatch(hWnd, WM_DESTROY, 0, 0);
    for (auto& timer : w->timers) {
        backend().stopTimer(*w, timer.first);
    }
    w->timers.clear();
    backend().destroyNative(*w);
    std::unique_ptr<WindowRecord> record;
    LayerState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        auto found = s.windows.find(slotOf(hWnd));
        record = std::move(found->second);
        s.windows.erase(found);
        s.queue.erase(std::remove_if(s.queue.begin(), s.queue.end(),
                                     [hWnd](const PostedMessage& m) { return m.hWnd == hWnd; }),
                      s.queue.end());
    }
    CWindowWnd* owner = record->owner;
    owner->m_hWnd = nullptr;
    owner->OnFinalMessage(hWnd);
    return TRUE;
}

void WindowLayer::setRect(HWND hWnd, const RECT& rect, bool fromSystem) {
    WindowRecord* w = find(hWnd);
    if (!w) {
        return;
    }
    bool resized = width(rect) != width(w->rect) || height(rect) != height(w->rect);
    w->rect = rect;
    if (!fromSystem) {
        backend().place(*w);
    }
    if (resized) {
        dispatch(hWnd, WM_SIZE, 0, MAKELPARAM(width(rect), height(rect)));
    }
}

void WindowLayer::mouseDown(HWND hWnd, POINT pt) {
    WindowRecord* w = find(hWnd);
    if (!w) {
        return;
    }
    POINT screen{pt.x + w->rect.left, pt.y + w->rect.top};
    LRESULT hit = dispatch(hWnd, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
    w = find(hWnd);
    if (!w) {
        return;
    }
    if (hit == HTCAPTION) {
        backend().beginDrag(*w, screen);
    } else if (hit == HTCLIENT) {
        dispatch(hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    }
}

void WindowLayer::mouseUp(HWND hWnd, POINT pt) {
    dispatch(hWnd, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
}

void WindowLayer::mouseMove(HWND hWnd, POINT pt) {
    dispatch(hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y));
}

void WindowLayer::mouseLeave(HWND hWnd) {
    dispatch(hWnd, WM_MOUSELEAVE, 0, 0);
}

void WindowLayer::key(HWND hWnd, UINT virtualKey, bool shift) {
    state().shiftDown = shift;
    dispatch(hWnd, WM_KEYDOWN, virtualKey, 0);
    state().shiftDown = false;
}

void WindowLayer::timerTick(HWND hWnd, UINT_PTR id) {
    WindowRecord* w = find(hWnd);
    if (!w) {
        return;
    }
    auto found = w->timers.find(id);
    if (found == w->timers.end()) {
        return;
    }
    if (TIMERPROC proc = found->second.proc) {
        proc(hWnd, WM_TIMER, id, tickCount());
    } else {
        dispatch(hWnd, WM_TIMER, id, 0);
    }
}

void WindowLayer::paint(HWND hWnd, cairo_t* cr) {
    CRenderContext context(cr);
    cairo_save(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_restore(cr);
    dispatch(hWnd, WM_PAINT, reinterpret_cast<WPARAM>(&context), 0);
    if (WindowRecord* w = find(hWnd)) {
        w->painted = true;
    }
}

bool WindowLayer::renderPng(HWND hWnd, const std::string& path) {
    WindowRecord* w = find(hWnd);
    if (!w || width(w->rect) <= 0 || height(w->rect) <= 0) {
        return false;
    }
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width(w->rect), height(w->rect));
    cairo_t* cr = cairo_create(surface);
    paint(hWnd, cr);
    w = find(hWnd);
    if (w && w->region) {
        // Outside the region stays transparent, as on screen.
        cairo_set_operator(cr, CAIRO_OPERATOR_DEST_IN);
        regionPath(cr, *w->region);
        cairo_set_source_rgba(cr, 0, 0, 0, 1);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return written;
}

int WindowLayer::drainPosted() {
    LayerState& s = state();
    unsigned long long last;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        last = s.nextSequence - 1;
    }
    int delivered = 0;
    for (;;) {
        PostedMessage m;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            if (s.queue.empty() || s.queue.front().sequence > last) {
                break;
            }
            m = s.queue.front();
            s.queue.pop_front();
        }
        if (find(m.hWnd)) {
            dispatch(m.hWnd, m.msg, m.wParam, m.lParam);
            ++delivered;
        }
    }
    return delivered;
}

bool WindowLayer::takeQuit(int* exitCode) {
    LayerState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.quit) {
        return false;
    }
    s.quit = false;
    *exitCode = s.quitCode;
    return true;
}

void WindowLayer::waitForWork(std::chrono::steady_clock::time_point deadline) {
    LayerState& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    s.wakeUp.wait_until(lock, deadline, [&s] { return s.quit || !s.queue.empty(); });
}

// ---- CWindowWnd ----------------------------------------------------------------------------

HWND CWindowWnd::Create(HWND, const char* name, DWORD style, DWORD exStyle, int x, int y, int cx,
                        int cy, HMENU) {
    if (m_hWnd) {
        return m_hWnd;
    }
    if (x == CW_USEDEFAULT || y == CW_USEDEFAULT) {
        x = 0;
        y = 0;
    }
    if (cx == CW_USEDEFAULT || cy == CW_USEDEFAULT) {
        cx = 640;
        cy = 480;
    }
    HWND hWnd = WindowLayer::createWindow(*this, name, style, exStyle, RECT{x, y, x + cx, y + cy});
    m_hWnd = hWnd;
    if (WindowLayer::dispatch(hWnd, WM_CREATE, 0, 0) == -1) {
        // The object may be gone after this (OnFinalMessage).
        WindowLayer::destroyWindow(hWnd);
        return nullptr;
    }
    RECT client;
    if (GetClientRect(hWnd, &client)) {
        WindowLayer::dispatch(hWnd, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
    }
    if ((style & WS_VISIBLE) && IsWindow(hWnd)) {
        ShowWindow(true, true);
    }
    return IsWindow(hWnd) ? hWnd : nullptr;
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
    if (WindowRecord* w = WindowLayer::find(m_hWnd)) {
        w->style = show ? (w->style | WS_VISIBLE) : (w->style & ~WS_VISIBLE);
        WindowLayer::backend().show(*w, show, takeFocus);
    }
}

void CWindowWnd::CenterWindow() {
    RECT rc;
    if (!GetWindowRect(m_hWnd, &rc)) {
        return;
    }
    RECT area = WindowLayer::backend().workArea();
    int x = area.left + (width(area) - width(rc)) / 2;
    int y = area.top + (height(area) - height(rc)) / 2;
    x = std::max(static_cast<int>(area.left), x);
    y = std::max(static_cast<int>(area.top), y);
    MoveWindow(m_hWnd, x, y, width(rc), height(rc), FALSE);
}

void CWindowWnd::Close(UINT ret) {
    DuiLib::PostMessage(m_hWnd, WM_CLOSE, ret, 0);
}

LRESULT CWindowWnd::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return DuiLib::SendMessage(m_hWnd, msg, wParam, lParam);
}

BOOL CWindowWnd::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return DuiLib::PostMessage(m_hWnd, msg, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT msg, WPARAM, LPARAM) {
    switch (msg) {
        case WM_CLOSE:
            DestroyWindow(m_hWnd);
            return 0;
        case WM_NCHITTEST:
            return HTCLIENT;
        case WM_NCACTIVATE:
            return 1;
        default:
            return 0;
    }
}

// ---- Window functions --------------------------------------------------------------------------

BOOL IsWindow(HWND hWnd) {
    return WindowLayer::find(hWnd) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hWnd) {
    WindowRecord* w = WindowLayer::find(hWnd);
    return (w && (w->style & WS_VISIBLE)) ? TRUE : FALSE;
}

BOOL IsIconic(HWND hWnd) {
    WindowRecord* w = WindowLayer::find(hWnd);
    return (w && w->iconic) ? TRUE : FALSE;
}

LONG GetWindowLongA(HWND hWnd, int index) {
    WindowRecord* w = WindowLayer::find(hWnd);
    if (!w) {
        return 0;
    }
    if (index == GWL_STYLE) {
        return static_cast<LONG>(w->style);
    }
    return index == GWL_EXSTYLE ? static_cast<LONG>(w->exStyle) : 0;
}

LONG SetWindowLongA(HWND hWnd, int index, LONG value) {
    WindowRecord* w = WindowLayer::find(hWnd);
    if (!w || (index != GWL_STYLE && index != GWL_EXSTYLE)) {
        return 0;
    }
    DWORD* slot = index == GWL_STYLE ? &w->style : &w->exStyle;
    LONG previous = static_cast<LONG>(*slot);
    *slot = static_cast<DWORD>(value);
    if (index == GWL_STYLE && ((static_cast<DWORD>(previous) ^ *slot) & WS_VISIBLE)) {
        WindowLayer::backend().show(*w, (*slot & WS_VISIBLE) != 0, false);
    }
    return previous;
}

BOOL GetWindowRect(HWND hWnd, RECT* rect) {
    WindowRecord* w = WindowLayer::find(hWnd);
    if (!w || !rect) {
        return FALSE;
    }
    *rect = w->rect;
    return TRUE;
}

BOOL GetClientRect(HWND hWnd, RECT* rect) {
    WindowRecord* w = WindowLayer::find(hWnd);
    if (!w || !rect) {
        return FALSE;
    }
    *rect = RECT{0, 0, width(w->rect), height(w->rect)};
    return TRUE;
}

BOOL ScreenToClient(HWND hWnd, POINT* point) {
    WindowRecord* w = WindowLayer::find(hWnd);
    if (!w || !point) {
        return FALSE;
    }
    point->x -= w->rect.left;
    point->y -= w->rect.top;
    return TRUE;
}

BOOL ClientToScreen(HWND hWnd, POINT* point) {
    WindowRecord* w = WindowLayer::find(hWnd);
    if (!w || !point) {
        return FALSE;
    }
    point->x += w->rect.left;
    point->y += w->rect.top;
    return TRUE;
}

BOOL MoveWindow(HWND hWnd, int x, int y, int cx, int cy, BOOL repaint) {
    if (!WindowLayer::find(hWnd) || cx < 0 || cy < 0) {
        return FALSE;
    }
    WindowLayer::setRect(hWnd, RECT{x, y, x + cx, y + cy}, false);
    if (repaint) {
        InvalidateRect(hWnd, nullptr, FALSE);
    }
    return TRUE;
}

BOOL InvalidateRect(HWND hWnd, const RECT*, BOOL) {
    WindowRecord* w = WindowLayer::find(hWnd);
    if (!w) {
        return FALSE;
    }
    WindowLayer::backend().invalidate(*w);
    return TRUE;
}

HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth,
                        int ellipseHeight) {
    HRGN region = new HRGN__;
    region->rc = RECT{std::min(left, right), std::min(top, bottom), std::max(left, right),
                      std::max(top, bottom)};
    region->ellipseWidth = std::abs(ellipseWidth);
    region->ellipseHeight = std::abs(ellipseHeight);
    return region;
}

BOOL DeleteObject(HRGN region) {
    delete region;
    return region ? TRUE : FALSE;
}

int SetWindowRgn(HWND hWnd, HRGN region, BOOL redraw) {
    std::unique_ptr<HRGN__> owned(region);
    WindowRecord* w = WindowLayer::find(hWnd);
    if (!w) {
        return 0;
    }
    w->region = std::move(owned);
    WindowLayer::backend().applyRegion(*w);
    if (redraw) {
        InvalidateRect(hWnd, nullptr, FALSE);
    }
    return 1;
}

BOOL DestroyWindow(HWND hWnd) {
    return WindowLayer::destroyWindow(hWnd);
}

void PostQuitMessage(int exitCode) {
    LayerState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.quit = true;
        s.quitCode = exitCode;
    }
    s.wakeUp.notify_all();
    WindowLayer::backend().quit();
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    WindowRecord* w = WindowLayer::find(hWnd);
    if (!w || w->destroying) {
        return 0;
    }
    if (w->timers.count(id)) {
        WindowLayer::backend().stopTimer(*w, id);
    }
    TimerSlot& slot = w->timers[id];
    slot = TimerSlot{};
    slot.elapseMs = std::max(1u, elapseMs);
    slot.proc = proc;
    slot.due = std::chrono::steady_clock::now() + std::chrono::milliseconds(slot.elapseMs);
    WindowLayer::backend().startTimer(*w, id);
    return id == 0 ? 1 : id;
}

BOOL KillTimer(HWND hWnd, UINT_PTR id) {
    WindowRecord* w = WindowLayer::find(hWnd);
    if (!w || !w->timers.count(id)) {
        return FALSE;
    }
    WindowLayer::backend().stopTimer(*w, id);
    w->timers.erase(id);
    return TRUE;
}

BOOL PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LayerState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.windows.count(slotOf(hWnd))) {
            return FALSE;
        }
        s.queue.push_back(PostedMessage{hWnd, msg, wParam, lParam, s.nextSequence++});
    }
    s.wakeUp.notify_all();
    WindowLayer::backend().wake();
    return TRUE;
}

LRESULT SendMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return WindowLayer::dispatch(hWnd, msg, wParam, lParam);
}

SHORT GetKeyState(int virtualKey) {
    return (virtualKey == static_cast<int>(VK_SHIFT) && state().shiftDown) ? SHORT(-0x8000) : 0;
}

// ---- Driving windows (UIDriver.h) ------------------------------------------------------------

void UseNullBackend() {
    state().forceNull = true;
}

bool IsNullBackend() {
    return WindowLayer::backend().isNull();
}

int PumpMessages() {
    return WindowLayer::drainPosted();
}

bool FireTimer(HWND hWnd, UINT_PTR id) {
    if (!IsTimerRunning(hWnd, id)) {
        return false;
    }
    WindowLayer::timerTick(hWnd, id);
    return true;
}

bool IsTimerRunning(HWND hWnd, UINT_PTR id) {
    WindowRecord* w = WindowLayer::find(hWnd);
    return w && w->timers.count(id) != 0;
}

void SimulateClick(HWND hWnd, POINT pt) {
    WindowLayer::mouseMove(hWnd, pt);
    WindowLayer::mouseDown(hWnd, pt);
    WindowLayer::mouseUp(hWnd, pt);
}

void SimulateKey(HWND hWnd, UINT virtualKey, bool shift) {
    WindowLayer::key(hWnd, virtualKey, shift);
}

bool IsWindowMapped(HWND hWnd) {
    WindowRecord* w = WindowLayer::find(hWnd);
    return w && w->mapped && w->painted;
}

bool CaptureWindowPng(HWND hWnd, const char* path) {
    WindowRecord* w = WindowLayer::find(hWnd);
    if (!w || !path) {
        return false;
    }
    return WindowLayer::backend().capture(*w, path) || WindowLayer::renderPng(hWnd, path);
}

}  // namespace DuiLib
