// Win32-like value types, message numbers and window functions of the
// framework.  They are our own (no OS types): a window handle names one of
// our windows (CWindowWnd), and the functions below act on those windows
// whatever backend draws them (GTK, Win32, or the display-less NULL backend).
//
// Numbers are the ones Windows uses, so window code written against the
// Win32 names reads the same here.
//
// Threads: every function here belongs to the window thread (the thread that
// runs MessageLoop) except PostMessage and IsWindow, which any thread may call.
#pragma once

#include <cstdint>

namespace DuiLib {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using SHORT = std::int16_t;
using LONG = int;
using UINT = unsigned int;
using BOOL = int;
using UINT_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// GLib defines these as macros with the same values; keep its definition then.
#ifndef TRUE
constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
constexpr BOOL FALSE = 0;
#endif

// Opaque handles.  A window handle stays unique for the life of the process:
// once its window is destroyed it never names another window.
struct HWND__;
using HWND = HWND__*;
struct HRGN__;
using HRGN = HRGN__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
struct HMENU__;
using HMENU = HMENU__*;

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};
struct POINT {
    LONG x = 0;
    LONG y = 0;
};
struct SIZE {
    LONG cx = 0;
    LONG cy = 0;
};

// ---- Messages ----------------------------------------------------------------
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
// wParam carries the framework's paint context; leave it to default handling.
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_NCCALCSIZE = 0x0083;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_NCPAINT = 0x0085;
constexpr UINT WM_NCACTIVATE = 0x0086;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
constexpr UINT WM_USER = 0x0400;

// WM_NCHITTEST results.
constexpr LRESULT HTNOWHERE = 0;
constexpr LRESULT HTCLIENT = 1;
constexpr LRESULT HTCAPTION = 2;

// Virtual keys (WM_KEYDOWN wParam) and mouse-key flags.
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr WPARAM MK_LBUTTON = 0x0001;

// ---- Styles --------------------------------------------------------------------
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_EX_WINDOWEDGE = 0x00000100;
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
constexpr UINT IDOK = 1;
constexpr UINT IDCANCEL = 2;

// Text layout flags (CLabelUI::SetTextStyle).
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;

// ---- Packing helpers -------------------------------------------------------------
constexpr WORD LOWORD(std::uintptr_t v) {
    return static_cast<WORD>(v & 0xFFFF);
}
constexpr WORD HIWORD(std::uintptr_t v) {
    return static_cast<WORD>((v >> 16) & 0xFFFF);
}
constexpr LPARAM MAKELPARAM(int low, int high) {
    return static_cast<LPARAM>(static_cast<std::uint32_t>(
        (static_cast<std::uint32_t>(low) & 0xFFFF) | (static_cast<std::uint32_t>(high) << 16)));
}
// Signed coordinates packed by MAKELPARAM (mouse and hit-test messages).
constexpr int GET_X_LPARAM(LPARAM lp) {
    return static_cast<SHORT>(LOWORD(static_cast<std::uintptr_t>(lp)));
}
constexpr int GET_Y_LPARAM(LPARAM lp) {
    return static_cast<SHORT>(HIWORD(static_cast<std::uintptr_t>(lp)));
}

// ---- Window functions -------------------------------------------------------------
// Failures answer FALSE / 0 / nullptr, as Win32 does; an unknown or destroyed
// handle is a failure, never a crash.

BOOL IsWindow(HWND hWnd);  // any thread
BOOL IsWindowVisible(HWND hWnd);
BOOL IsIconic(HWND hWnd);
// GWL_STYLE or GWL_EXSTYLE; the setter answers the previous value.  WS_VISIBLE
// shows or hides the window; on Windows the real window carries the other
// bits too, elsewhere they are kept for the window code.  Either way the
// client area covers the whole window (no frame or caption is ever drawn).
LONG GetWindowLongA(HWND hWnd, int index);
LONG SetWindowLongA(HWND hWnd, int index, LONG value);
// Rectangles: the window rectangle is in screen coordinates; the client area
// covers the whole window, so the client rectangle is (0, 0, width, height).
BOOL GetWindowRect(HWND hWnd, RECT* rect);
BOOL GetClientRect(HWND hWnd, RECT* rect);
BOOL ScreenToClient(HWND hWnd, POINT* point);
BOOL ClientToScreen(HWND hWnd, POINT* point);
// Moves and sizes the window; a change of size sends WM_SIZE before returning.
BOOL MoveWindow(HWND hWnd, int x, int y, int width, int height, BOOL repaint);
// Schedules a repaint (the whole window; the rectangle is a hint only).
BOOL InvalidateRect(HWND hWnd, const RECT* rect, BOOL erase);

// A rounded rectangle region; as on Windows, the right and bottom edges are
// exclusive, so (0, 0, w + 1, h + 1) covers a w by h window.  w and h of the
// corner are the ellipse's width and height (twice the radius).
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth,
                        int ellipseHeight);
BOOL DeleteObject(HRGN region);
// The window takes ownership of the region (nullptr removes the shape); the
// parts outside it are cut away: not drawn and not clickable.  Answers 1 on
// success, 0 on failure (the region is then freed).
int SetWindowRgn(HWND hWnd, HRGN region, BOOL redraw);

// Destroys the window now: WM_DESTROY, then CWindowWnd::OnFinalMessage.  Do
// not call it on a window from inside that window's own HandleMessage unless
// nothing of the object is touched afterwards; CWindowWnd::Close is the safe
// way to close (it posts WM_CLOSE).
BOOL DestroyWindow(HWND hWnd);
// Makes MessageLoop return `exitCode` once the current message is handled.
void PostQuitMessage(int exitCode);

// Window timers: WM_TIMER with the id in wParam (or a call of `proc`, when
// given) every `elapseMs`.  Setting an id that runs restarts it.  Timers die
// with their window.
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);
UINT_PTR SetTimer(HWND hWnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc = nullptr);
BOOL KillTimer(HWND hWnd, UINT_PTR id);

// Thread-safe: any thread may post.  Messages reach the window's HandleMessage
// on the window thread in the order they were posted.  FALSE for a handle
// that names no live window; a message still queued when its window is
// destroyed is dropped, never delivered.
BOOL PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Delivers at once, on the calling (window) thread.  0 for a dead handle.
LRESULT SendMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// State of VK_SHIFT while a key message is handled: negative when held.
SHORT GetKeyState(int virtualKey);

}  // namespace DuiLib
