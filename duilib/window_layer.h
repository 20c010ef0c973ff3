// Internal: the window layer shared by every backend.  It keeps the table of
// live windows (handle -> record), the posted-message queue, timers and the
// translation of raw input into the messages CWindowWnd::HandleMessage sees.
// A backend (GTK or Win32, or NULL without a display) only puts windows on
// a screen, runs a loop and opens the standard dialogs.
//
// Threads: everything belongs to the window thread except post, find (for
// IsWindow) and WindowBackend::wake, which any thread may call.  The layer
// owns the records and the backend; a record's `native` is the backend's.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "duilib/UIDefine.h"
#include "duilib/UIWindow.h"
#include "duilib/render.h"

namespace DuiLib {

struct TimerSlot {
    UINT elapseMs = 0;
    TIMERPROC proc = nullptr;
    unsigned nativeId = 0;                      // the backend's own timer
    std::chrono::steady_clock::time_point due;  // NULL backend
};

struct WindowRecord {
    HWND handle = nullptr;
    CWindowWnd* owner = nullptr;
    std::string title;
    std::string className;
    UINT classStyle = 0;  // CS_* of the window class
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect;  // screen coordinates
    bool iconic = false;
    bool mapped = false;
    bool painted = false;
    bool destroying = false;
    std::unique_ptr<HRGN__> region;
    std::map<UINT_PTR, TimerSlot> timers;
    void* native = nullptr;  // the backend's own data
    // Device pixels per skin pixel where the backend itself scales (Win32:
    // the monitor's DPI / 96).  Everything the layer holds (rect, input,
    // painting) stays in skin pixels.
    double scale = 1.0;
};

// One way of putting windows on a screen.  Every call but wake comes from
// the window thread; none may call back into the window code except through
// WindowLayer (input, paint, timer ticks, posted messages).
class WindowBackend {
  public:
    virtual ~WindowBackend() = default;
    virtual bool isNull() const = 0;
    // False when the system gave no window; the record is then dropped.
    virtual bool createNative(WindowRecord& w) = 0;
    virtual void destroyNative(WindowRecord& w) = 0;
    virtual void show(WindowRecord& w, bool show, bool takeFocus) = 0;
    virtual void place(WindowRecord& w) = 0;  // w.rect changed
    virtual void invalidate(WindowRecord& w) = 0;
    virtual void applyRegion(WindowRecord& w) = 0;
    // w.style or w.exStyle changed; only a backend whose windows carry
    // Win32 styles has anything to do.
    virtual void applyStyle(WindowRecord&) {}
    virtual void startTimer(WindowRecord& w, UINT_PTR id) = 0;
    virtual void stopTimer(WindowRecord& w, UINT_PTR id) = 0;
    virtual void beginDrag(WindowRecord& w, POINT screen) = 0;
    virtual RECT workArea() = 0;
    // Any thread: messages were posted.
    virtual void wake() = 0;
    virtual int run() = 0;
    virtual void quit() = 0;
    // A grab of the window's pixels on screen; false when not possible.
    virtual bool capture(WindowRecord& w, const std::string& path) = 0;
    // Modal: asks for a folder, above `owner` (nullptr: no owner window).
    // Answers its path, or an empty string when the person cancelled.
    virtual std::string chooseFolder(WindowRecord* owner, const std::string& title) = 0;
};

// The factory (backend_factory.cpp): the one place that knows every
// backend.  NULL when asked for (`nullRequested`, or DUILIB_BACKEND=null),
// else the first display backend that finds a display, else NULL.
std::unique_ptr<WindowBackend> makeWindowBackend(bool nullRequested);

// Display backends answer nullptr when they cannot run here (no display).
std::unique_ptr<WindowBackend> makeGtkBackend();
std::unique_ptr<WindowBackend> makeWin32Backend();
std::unique_ptr<WindowBackend> makeNullBackend();

inline LONG widthOf(const RECT& rc) {
    return rc.right - rc.left;
}
inline LONG heightOf(const RECT& rc) {
    return rc.bottom - rc.top;
}

class WindowLayer {
  public:
    // Chosen at the first call; a request for NULL counts only before that.
    static WindowBackend& backend();
    static void requestNullBackend();
    // Window thread: the record of a live window, or nullptr.
    static WindowRecord* find(HWND hWnd);
    static std::vector<HWND> liveWindows();
    static LRESULT dispatch(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

    static HWND createWindow(CWindowWnd& owner, const char* title, DWORD style, DWORD exStyle,
                             const RECT& rect);
    static BOOL destroyWindow(HWND hWnd);
    // Size or position changed (by us or by the system); WM_SIZE on a new size.
    static void setRect(HWND hWnd, const RECT& rect, bool fromSystem);

    // Input, as a backend or a test reports it (client coordinates).
    static void mouseDown(HWND hWnd, POINT pt);
    static void mouseUp(HWND hWnd, POINT pt);
    static void mouseMove(HWND hWnd, POINT pt);
    static void mouseLeave(HWND hWnd);
    static void key(HWND hWnd, UINT virtualKey, bool shift);
    static void timerTick(HWND hWnd, UINT_PTR id);
    static bool shiftHeld();
    // White background, then WM_PAINT with the context.
    static void paint(HWND hWnd, CRenderContext& context);
    // The window painted in memory by the build's renderer (no display needed).
    static bool renderPng(HWND hWnd, const std::string& path);

    // Posted messages and the quit request.  post: any thread; false for a
    // handle that names no live window.
    static bool post(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static int drainPosted();
    static void requestQuit(int exitCode);
    static bool takeQuit(int* exitCode);
    // Blocks until something is posted, quit is requested or `deadline` passes.
    static void waitForWork(std::chrono::steady_clock::time_point deadline);

    // What the NULL backend's folder dialog answers next (once).
    static void presetFolderChoice(const std::string& path);
    static std::string takeFolderChoice();
};

}  // namespace DuiLib
