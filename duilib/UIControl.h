// The control tree: CControlUI and the kinds the layout file can name.
//
// Ownership: a container owns its children and deletes them; the paint
// manager owns the root (CPaintManagerUI::AttachDialog).
// Threads: controls belong to the window thread.  Another thread that wants a
// control changed posts a message to the window (PostMessage) and changes it
// there.
// Colours are 0xAARRGGBB; an alpha of 0 means "no colour".  Positions are in
// client coordinates of the window, set by the layout pass (GetPos).
#pragma once

#include <vector>

#include "duilib/UIDefine.h"
#include "duilib/UIString.h"

namespace DuiLib {

class CPaintManagerUI;
class CRenderContext;  // the framework's drawing surface (internal)

class CControlUI {
  public:
    CControlUI() = default;
    virtual ~CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    // Kind name as used in the layout file: "Control", "Button", "CheckBox"...
    virtual const char* GetClass() const;

    CDuiString GetName() const { return m_sName; }
    void SetName(const char* name) { m_sName = name; }
    virtual CDuiString GetText() const { return m_sText; }
    virtual void SetText(const char* text);
    DWORD GetBkColor() const { return m_dwBkColor; }
    void SetBkColor(DWORD argb);
    // Image file name relative to the resource path; stretched over the control.
    CDuiString GetBkImage() const { return m_sBkImage; }
    void SetBkImage(const char* file);
    DWORD GetBorderColor() const { return m_dwBorderColor; }
    void SetBorderColor(DWORD argb);

    bool IsEnabled() const { return m_bEnabled; }
    virtual void SetEnabled(bool enabled = true);
    // The control's own flag; a control shows only when all its ancestors do
    // too (IsVisibleOnScreen).
    bool IsVisible() const { return m_bVisible; }
    virtual void SetVisible(bool visible = true);
    bool IsVisibleOnScreen() const;

    // Keyboard: buttons and check boxes take the focus; the layout marks the
    // button Enter presses ("default") and the one Esc presses ("cancel").
    virtual bool IsFocusable() const { return false; }
    bool IsDefault() const { return m_bDefault; }
    bool IsCancel() const { return m_bCancel; }
    // What a click or a key press does (buttons notify "click").
    virtual void Activate() {}

    const RECT& GetPos() const { return m_rcItem; }
    virtual void SetPos(const RECT& rc) { m_rcItem = rc; }
    int GetFixedWidth() const { return m_cxyFixed.cx; }
    int GetFixedHeight() const { return m_cxyFixed.cy; }
    void SetFixedWidth(int cx);
    void SetFixedHeight(int cy);
    const RECT& GetPadding() const { return m_rcPadding; }
    bool IsFloat() const { return m_bFloat; }
    const RECT& GetFloatPos() const { return m_rcFloat; }

    CControlUI* GetParent() const { return m_pParent; }
    CPaintManagerUI* GetManager() const { return m_pManager; }
    virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent);

    // Children (containers only): a uniform way to walk any tree.
    virtual int GetCount() const { return 0; }
    virtual CControlUI* GetItemAt(int) const { return nullptr; }

    // The topmost visible control under the point, or nullptr.
    virtual CControlUI* FindControl(POINT pt);
    // The first control of this subtree (depth first) with the name, or nullptr.
    CControlUI* FindControl(const char* name);

    // One attribute of the layout file (see the schema in UIBuilder.cpp).
    virtual void SetAttribute(const char* name, const char* value);

    void Invalidate();
    void NeedUpdate();  // positions or visibility changed: lay out again
    virtual void DoPaint(CRenderContext& rc);

  protected:
    void PaintBkColor(CRenderContext& rc, DWORD argb);
    void PaintImage(CRenderContext& rc, const CDuiString& file);
    void PaintBorder(CRenderContext& rc);
    int CornerRadius() const { return m_cxyBorderRound.cx / 2; }
    bool IsHot() const;
    bool IsPushed() const;

    CPaintManagerUI* m_pManager = nullptr;
    CControlUI* m_pParent = nullptr;
    CDuiString m_sName;
    CDuiString m_sText;
    CDuiString m_sBkImage;
    RECT m_rcItem;
    RECT m_rcPadding;
    RECT m_rcFloat;
    SIZE m_cxyFixed;
    SIZE m_cxyBorderRound;
    DWORD m_dwBkColor = 0;
    DWORD m_dwBorderColor = 0;
    int m_nBorderSize = 1;
    bool m_bFloat = false;
    bool m_bEnabled = true;
    bool m_bVisible = true;
    bool m_bDefault = false;
    bool m_bCancel = false;
};

// ---- Containers ---------------------------------------------------------------

// Children stacked on top of each other, each filling the inner area
// (less its padding; a fixed width or height is honoured from the top left).
class CContainerUI : public CControlUI {
  public:
    ~CContainerUI() override;
    const char* GetClass() const override;
    bool Add(CControlUI* control);     // takes ownership
    bool Remove(CControlUI* control);  // deletes it
    void RemoveAll();
    int GetCount() const override { return static_cast<int>(m_items.size()); }
    CControlUI* GetItemAt(int index) const override;
    int GetItemIndex(CControlUI* control) const;

    void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;
    void SetPos(const RECT& rc) override;
    CControlUI* FindControl(POINT pt) override;
    void SetAttribute(const char* name, const char* value) override;
    void DoPaint(CRenderContext& rc) override;

  protected:
    virtual void OnAdded(CControlUI*) {}
    RECT InnerRect(const RECT& rc) const;
    void PlaceFloat(CControlUI* child, const RECT& inner);

    std::vector<CControlUI*> m_items;
    RECT m_rcInset;
    int m_iChildPadding = 0;
};

// Children top to bottom: fixed heights first, the rest shared equally.
class CVerticalLayoutUI : public CContainerUI {
  public:
    const char* GetClass() const override;
    void SetPos(const RECT& rc) override;
};

// Children left to right: fixed widths first, the rest shared equally.
class CHorizontalLayoutUI : public CContainerUI {
  public:
    const char* GetClass() const override;
    void SetPos(const RECT& rc) override;
};

// Pages: only the selected child shows.
class CTabLayoutUI : public CContainerUI {
  public:
    const char* GetClass() const override;
    int GetCurSel() const { return m_iCurSel; }
    // Shows page `index`; false for an index out of range.  With raiseEvent,
    // a real change notifies "selectchanged" (wParam new page, lParam old).
    bool SelectItem(int index, bool raiseEvent = true);
    void SetAttribute(const char* name, const char* value) override;

  protected:
    void OnAdded(CControlUI* control) override;
    int m_iCurSel = 0;
};

// ---- Text ---------------------------------------------------------------------

// One line of text (ellipsised when too long).
class CLabelUI : public CControlUI {
  public:
    const char* GetClass() const override;
    DWORD GetTextColor() const { return m_dwTextColor; }
    void SetTextColor(DWORD argb);
    UINT GetTextStyle() const { return m_uTextStyle; }
    void SetTextStyle(UINT style);  // DT_* flags
    int GetFontSize() const { return m_nFontSize; }
    void SetAttribute(const char* name, const char* value) override;
    void DoPaint(CRenderContext& rc) override;

  protected:
    virtual DWORD CurrentTextColor() const;
    void PaintText(CRenderContext& rc, const RECT& area, DWORD argb);

    DWORD m_dwTextColor = 0xFF1F2329;
    DWORD m_dwDisabledTextColor = 0;
    int m_nFontSize = 14;
    bool m_bBold = false;
    UINT m_uTextStyle = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
    RECT m_rcTextPadding;
};

// Text that wraps onto several lines.
class CTextUI : public CLabelUI {
  public:
    CTextUI();
    const char* GetClass() const override;
};

// ---- Buttons ------------------------------------------------------------------

// A clickable label with normal / hot / pushed / disabled looks (colours or
// images).  Class name "Button".
class CButtonUI : public CLabelUI {
  public:
    CButtonUI();
    const char* GetClass() const override;
    bool IsFocusable() const override { return true; }
    void Activate() override;  // notifies "click"
    void SetAttribute(const char* name, const char* value) override;
    void DoPaint(CRenderContext& rc) override;

  protected:
    DWORD CurrentTextColor() const override;
    DWORD CurrentBkColor() const;
    CDuiString CurrentImage() const;

    DWORD m_dwHotBkColor = 0;
    DWORD m_dwPushedBkColor = 0;
    DWORD m_dwDisabledBkColor = 0;
    DWORD m_dwHotTextColor = 0;
    DWORD m_dwPushedTextColor = 0;
    CDuiString m_sNormalImage;
    CDuiString m_sHotImage;
    CDuiString m_sPushedImage;
    CDuiString m_sDisabledImage;
};

// A box with a tick and its text.  A click notifies "click" while the box
// still shows its old state, then toggles (notifying "selectchanged").
class CCheckBoxUI : public CButtonUI {
  public:
    CCheckBoxUI();
    const char* GetClass() const override;
    bool GetCheck() const { return m_bSelected; }
    // A real change with triggerEvent notifies "selectchanged".
    void SetCheck(bool check, bool triggerEvent = true);
    void Activate() override;
    void SetAttribute(const char* name, const char* value) override;
    void DoPaint(CRenderContext& rc) override;

  protected:
    bool m_bSelected = false;
    DWORD m_dwSelectedColor = 0xFFFF4F4F;
    DWORD m_dwBoxColor = 0xFFB8BCC4;
};

// ---- Progress -------------------------------------------------------------------

// A horizontal bar from min to max (defaults 0 and 100); values are kept in range.
class CProgressUI : public CLabelUI {
  public:
    const char* GetClass() const override;
    int GetMinValue() const { return m_nMin; }
    int GetMaxValue() const { return m_nMax; }
    void SetMinValue(int value);
    void SetMaxValue(int value);
    int GetValue() const { return m_nValue; }
    void SetValue(int value);
    void SetAttribute(const char* name, const char* value) override;
    void DoPaint(CRenderContext& rc) override;

  protected:
    int m_nMin = 0;
    int m_nMax = 100;
    int m_nValue = 0;
    DWORD m_dwForeColor = 0xFFFF4F4F;
};

}  // namespace DuiLib
