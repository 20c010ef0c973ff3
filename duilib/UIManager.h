// CPaintManagerUI: owns a window's control tree, lays it out, paints it and
// turns mouse and key messages into control notifications (TNotifyUI) for
// the window's notifiers.  Also holds the process-wide resource settings and
// the message loop.
//
// Threads: window thread only (MessageLoop is run by that thread).
// Ownership: the manager owns the root given to AttachDialog and deletes the
// tree with itself; notifiers are not owned.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "duilib/UIControl.h"
#include "duilib/UIDefine.h"
#include "duilib/UIString.h"

namespace DuiLib {

// One control notification.  sType is "click" (mouse click or key press on a
// button or check box) or "selectchanged" (a check box or a tab layout changed
// its selection; wParam/lParam carry the new/old page for tabs).
struct TNotifyUI {
    CDuiString sType;
    CDuiString sVirtualWnd;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class INotifyUI {
  public:
    virtual void Notify(TNotifyUI& msg) = 0;

  protected:
    ~INotifyUI() = default;
};

class CPaintManagerUI {
  public:
    CPaintManagerUI() = default;
    ~CPaintManagerUI();
    CPaintManagerUI(const CPaintManagerUI&) = delete;
    CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

    // Binds the manager to its window (call from WM_CREATE).
    void Init(HWND hWnd, const char* name = nullptr);
    HWND GetPaintWindow() const { return m_hWnd; }

    // Takes ownership of the tree (a previous tree is deleted) and lays it out.
    bool AttachDialog(CControlUI* root);
    CControlUI* GetRoot() const { return m_pRoot; }
    bool AddNotifier(INotifyUI* notifier);
    bool RemoveNotifier(INotifyUI* notifier);

    // By name: the first control with it (depth first), nullptr when none.
    CControlUI* FindControl(const char* name) const;
    // By point (client coordinates): the topmost visible control, or nullptr.
    CControlUI* FindControl(POINT pt);

    // From the layout's <Window>: caption="l,t,r,b" (left/top/bottom from the
    // window's edges, right measured in from the right edge), roundcorner
    // ="w,h" (ellipse size, 0,0 for square corners), size="cx,cy".
    const RECT& GetCaptionRect() const { return m_rcCaption; }
    void SetCaptionRect(const RECT& rc) { m_rcCaption = rc; }
    SIZE GetRoundCorner() const { return m_szRoundCorner; }
    void SetRoundCorner(int cx, int cy);
    SIZE GetInitSize() const { return m_szInitSize; }
    // Also resizes the window when there is one (WM_SIZE follows).
    void SetInitSize(int cx, int cy);
    DWORD GetFocusRingColor() const { return m_dwFocusRing; }
    void SetFocusRingColor(DWORD argb) { m_dwFocusRing = argb; }

    // The window's default handling offers every message here first.  Handles
    // WM_PAINT, WM_SIZE, mouse and WM_KEYDOWN; answers whether it consumed the
    // message, with its result in `result`.
    bool MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Delivers a notification to every notifier, now.
    void SendNotify(CControlUI* sender, const char* type, WPARAM wParam = 0, LPARAM lParam = 0);

    // Keyboard focus (only focusable, enabled, shown controls qualify).
    CControlUI* GetFocus() const;
    void SetFocus(CControlUI* control, bool showRing = true);
    CControlUI* GetHotControl() const { return m_pHot; }
    CControlUI* GetPushedControl() const { return m_pPushed; }

    void Invalidate();
    void NeedUpdate();  // lays the tree out again (now)
    // Called by a control's destructor so no pointer to it stays behind.
    void ReapObject(CControlUI* control);

    // ---- Process-wide settings ----
    static void SetInstance(HINSTANCE instance);
    static HINSTANCE GetInstance();
    // Folder of the program file, with a trailing separator.
    static CDuiString GetInstancePath();
    // Folder the layout and its images are read from; a trailing separator
    // is added when missing.
    static void SetResourcePath(const char* path);
    static CDuiString GetResourcePath();
    // Files the program carries in itself (a built-in skin), each used where
    // the resource folder has no file of its name.  The table and its bytes
    // must outlive every window.
    struct BuiltInResource {
        const char* name;
        const unsigned char* data;
        std::size_t size;
    };
    static void SetBuiltInResources(const BuiltInResource* table, std::size_t count);
    // The bytes of resource `name` (a name in the resource folder, or an
    // absolute path): the folder's file, else the built-in one of that name.
    // False when there is neither, or it is larger than `limit` bytes.
    static bool ReadResource(const std::string& name, std::size_t limit, std::string& bytes);
    // Runs until PostQuitMessage; answers its exit code.
    static int MessageLoop();

  private:
    void ensureLayout();
    CControlUI* clickTarget(POINT pt);
    void onMouseMove(POINT pt);
    void onButtonDown(POINT pt);
    void onButtonUp(POINT pt);
    bool onKeyDown(UINT key);
    void moveFocus(bool forward);
    CControlUI* findMarked(bool wantDefault) const;
    std::vector<CControlUI*> focusOrder() const;
    void paint(CRenderContext& rc);

    HWND m_hWnd = nullptr;
    CControlUI* m_pRoot = nullptr;
    std::vector<INotifyUI*> m_notifiers;
    CControlUI* m_pHot = nullptr;
    CControlUI* m_pPushed = nullptr;
    CControlUI* m_pFocus = nullptr;
    bool m_bFocusRing = false;
    bool m_bNeedLayout = true;
    RECT m_rcCaption;
    SIZE m_szRoundCorner;
    SIZE m_szInitSize;
    DWORD m_dwFocusRing = 0xFF2F6BFF;
};

}  // namespace DuiLib
