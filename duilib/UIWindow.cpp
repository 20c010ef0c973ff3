// CWindowWnd: a window object on top of the window layer.
#include "duilib/UIWindow.h"

#include <algorithm>

#include "duilib/window_layer.h"

namespace DuiLib {

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
    if (!hWnd) {
        return nullptr;
    }
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
    int x = area.left + (widthOf(area) - widthOf(rc)) / 2;
    int y = area.top + (heightOf(area) - heightOf(rc)) / 2;
    x = std::max(static_cast<int>(area.left), x);
    y = std::max(static_cast<int>(area.top), y);
    MoveWindow(m_hWnd, x, y, widthOf(rc), heightOf(rc), FALSE);
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

}  // namespace DuiLib
