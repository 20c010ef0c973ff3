// The Win32-like window functions of UIDefine.h, on the window layer.
#include <algorithm>
#include <cstdlib>

#include "duilib/UIDefine.h"
#include "duilib/window_layer.h"

namespace DuiLib {

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
    DWORD changed = static_cast<DWORD>(previous) ^ *slot;
    if (index == GWL_STYLE && (changed & WS_VISIBLE)) {
        WindowLayer::backend().show(*w, (*slot & WS_VISIBLE) != 0, false);
    }
    if (changed & ~WS_VISIBLE) {
        WindowLayer::backend().applyStyle(*w);
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
    *rect = RECT{0, 0, widthOf(w->rect), heightOf(w->rect)};
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
    WindowLayer::requestQuit(exitCode);
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
    return WindowLayer::post(hWnd, msg, wParam, lParam) ? TRUE : FALSE;
}

LRESULT SendMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return WindowLayer::dispatch(hWnd, msg, wParam, lParam);
}

SHORT GetKeyState(int virtualKey) {
    return (virtualKey == static_cast<int>(VK_SHIFT) && WindowLayer::shiftHeld()) ? SHORT(-0x8000)
                                                                                  : 0;
}

}  // namespace DuiLib
