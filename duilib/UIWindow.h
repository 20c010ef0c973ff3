// CWindowWnd: the base of a top-level window.  A subclass answers its class
// name and handles its messages in HandleMessage; the framework delivers
// every message there with the Win32 numbers of UIDefine.h.
//
// Life of a window: Create sends WM_CREATE (inside Create) and then WM_SIZE;
// Close posts WM_CLOSE, whose default handling destroys the window: WM_DESTROY,
// then OnFinalMessage, after which the framework never touches the object
// again (a subclass may delete itself there).
// Mouse: a press is first offered as WM_NCHITTEST (screen point in lParam):
// HTCAPTION starts dragging the window, HTCLIENT goes on as WM_LBUTTONDOWN
// (client point in lParam); WM_MOUSEMOVE and WM_LBUTTONUP follow.  Keys arrive
// as WM_KEYDOWN with a VK_* code.
// Threads: window thread only.
#pragma once

#include "duilib/UIDefine.h"

namespace DuiLib {

class WindowLayer;

class CWindowWnd {
  public:
    CWindowWnd() = default;
    virtual ~CWindowWnd() = default;
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    HWND GetHWND() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }  // NOLINT: DuiLib passes windows as handles

    // A window of cx by cy at (x, y) in screen coordinates; CW_USEDEFAULT picks
    // the origin and 640 by 480.  The parent and menu are not supported (top
    // level only).  With WS_VISIBLE in `style` the window shows at once.
    // Answers the handle, or nullptr when WM_CREATE answered -1.
    HWND Create(HWND parent, const char* name, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
                int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT,
                HMENU menu = nullptr);
    void ShowWindow(bool show = true, bool takeFocus = true);
    // Centres the window on the screen's work area.
    void CenterWindow();
    // Posts WM_CLOSE with `ret` in wParam, so it is safe inside a handler.
    void Close(UINT ret = IDOK);
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

    // Default handling: WM_CLOSE destroys the window, WM_NCHITTEST answers
    // HTCLIENT, WM_NCACTIVATE answers 1, everything else 0.
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  protected:
    virtual const char* GetWindowClassName() const = 0;
    virtual const char* GetSuperClassName() const { return nullptr; }
    virtual UINT GetClassStyle() const { return 0; }
    // The last call the framework makes on the object.
    virtual void OnFinalMessage(HWND) {}

    HWND m_hWnd = nullptr;

  private:
    friend class WindowLayer;
};

}  // namespace DuiLib
