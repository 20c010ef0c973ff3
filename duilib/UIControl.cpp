#include "duilib/UIControl.h"

#include <algorithm>
#include <cstring>

#include "duilib/UIManager.h"
#include "duilib/attributes.h"
#include "duilib/render.h"

namespace DuiLib {
namespace {

bool is(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

bool contains(const RECT& rc, POINT pt) {
    return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}

// Fades a colour for disabled looks when the layout gives none.
DWORD faded(DWORD argb) {
    return (argb & 0x00FFFFFFu) | ((((argb >> 24) * 2) / 5) << 24);
}

}  // namespace

// ---- CControlUI -----------------------------------------------------------------

CControlUI::~CControlUI() {
    if (m_pManager) {
        m_pManager->ReapObject(this);
    }
}

const char* CControlUI::GetClass() const {
    return "Control";
}

void CControlUI::SetText(const char* text) {
    m_sText = text;
    Invalidate();
}

void CControlUI::SetBkColor(DWORD argb) {
    m_dwBkColor = argb;
    Invalidate();
}

void CControlUI::SetBkImage(const char* file) {
    m_sBkImage = file;
    Invalidate();
}

void CControlUI::SetBorderColor(DWORD argb) {
    m_dwBorderColor = argb;
    Invalidate();
}

void CControlUI::SetEnabled(bool enabled) {
    m_bEnabled = enabled;
    Invalidate();
}

void CControlUI::SetVisible(bool visible) {
    if (m_bVisible != visible) {
        m_bVisible = visible;
        NeedUpdate();
    }
}

bool CControlUI::IsVisibleOnScreen() const {
    for (const CControlUI* c = this; c; c = c->m_pParent) {
        if (!c->m_bVisible) {
            return false;
        }
    }
    return true;
}

void CControlUI::SetFixedWidth(int cx) {
    m_cxyFixed.cx = std::max(0, cx);
    NeedUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
    m_cxyFixed.cy = std::max(0, cy);
    NeedUpdate();
}

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
    m_pManager = manager;
    m_pParent = parent;
}

CControlUI* CControlUI::FindControl(POINT pt) {
    return (m_bVisible && contains(m_rcItem, pt)) ? this : nullptr;
}

CControlUI* CControlUI::FindControl(const char* name) {
    if (name && m_sName == name) {
        return this;
    }
    for (int i = 0; i < GetCount(); ++i) {
        if (CControlUI* found = GetItemAt(i)->FindControl(name)) {
            return found;
        }
    }
    return nullptr;
}

void CControlUI::SetAttribute(const char* name, const char* value) {
    if (is(name, "name")) {
        m_sName = value;
    } else if (is(name, "text")) {
        m_sText = value;
    } else if (is(name, "pos")) {
        m_rcFloat = attr::toRect(value);
        m_cxyFixed = SIZE{m_rcFloat.right - m_rcFloat.left, m_rcFloat.bottom - m_rcFloat.top};
    } else if (is(name, "float")) {
        m_bFloat = attr::toBool(value);
    } else if (is(name, "width")) {
        m_cxyFixed.cx = attr::toInt(value);
    } else if (is(name, "height")) {
        m_cxyFixed.cy = attr::toInt(value);
    } else if (is(name, "padding")) {
        m_rcPadding = attr::toRect(value);
    } else if (is(name, "bkcolor")) {
        m_dwBkColor = attr::toColor(value);
    } else if (is(name, "bkimage")) {
        m_sBkImage = value;
    } else if (is(name, "bordercolor")) {
        m_dwBorderColor = attr::toColor(value);
    } else if (is(name, "bordersize")) {
        m_nBorderSize = attr::toInt(value);
    } else if (is(name, "borderround")) {
        m_cxyBorderRound = attr::toSize(value);
    } else if (is(name, "enabled")) {
        m_bEnabled = attr::toBool(value);
    } else if (is(name, "visible")) {
        m_bVisible = attr::toBool(value);
    } else if (is(name, "default")) {
        m_bDefault = attr::toBool(value);
    } else if (is(name, "cancel")) {
        m_bCancel = attr::toBool(value);
    }
}

void CControlUI::Invalidate() {
    if (m_pManager) {
        m_pManager->Invalidate();
    }
}

void CControlUI::NeedUpdate() {
    if (m_pManager) {
        m_pManager->NeedUpdate();
    }
}

bool CControlUI::IsHot() const {
    return m_pManager && m_pManager->GetHotControl() == this;
}
bool CControlUI::IsPushed() const {
    return m_pManager && m_pManager->GetPushedControl() == this;
}

void CControlUI::PaintBkColor(CRenderContext& rc, DWORD argb) {
    rc.fillRect(m_rcItem, argb, CornerRadius());
}

void CControlUI::PaintImage(CRenderContext& rc, const CDuiString& file) {
    if (!file.IsEmpty()) {
        rc.drawImage(file.str(), m_rcItem, CornerRadius());
    }
}

void CControlUI::PaintBorder(CRenderContext& rc) {
    rc.strokeRect(m_rcItem, m_dwBorderColor, m_nBorderSize, CornerRadius());
}

void CControlUI::DoPaint(CRenderContext& rc) {
    PaintBkColor(rc, m_dwBkColor);
    PaintImage(rc, m_sBkImage);
    PaintBorder(rc);
}

// ---- Containers ---------------------------------------------------------------------

CContainerUI::~CContainerUI() {
    RemoveAll();
}

const char* CContainerUI::GetClass() const {
    return "Container";
}

bool CContainerUI::Add(CControlUI* control) {
    if (!control) {
        return false;
    }
    m_items.push_back(control);
    control->SetManager(m_pManager, this);
    OnAdded(control);
    NeedUpdate();
    return true;
}

bool CContainerUI::Remove(CControlUI* control) {
    auto found = std::find(m_items.begin(), m_items.end(), control);
    if (found == m_items.end()) {
        return false;
    }
    m_items.erase(found);
    delete control;
    NeedUpdate();
    return true;
}

void CContainerUI::RemoveAll() {
    std::vector<CControlUI*> items;
    items.swap(m_items);
    for (CControlUI* item : items) {
        delete item;
    }
    NeedUpdate();
}

CControlUI* CContainerUI::GetItemAt(int index) const {
    return (index >= 0 && index < GetCount()) ? m_items[static_cast<size_t>(index)] : nullptr;
}

int CContainerUI::GetItemIndex(CControlUI* control) const {
    auto found = std::find(m_items.begin(), m_items.end(), control);
    return found == m_items.end() ? -1 : static_cast<int>(found - m_items.begin());
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
    CControlUI::SetManager(manager, parent);
    for (CControlUI* item : m_items) {
        item->SetManager(manager, this);
    }
}

RECT CContainerUI::InnerRect(const RECT& rc) const {
    return RECT{rc.left + m_rcInset.left, rc.top + m_rcInset.top, rc.right - m_rcInset.right,
                rc.bottom - m_rcInset.bottom};
}

void CContainerUI::PlaceFloat(CControlUI* child, const RECT&) {
    const RECT& f = child->GetFloatPos();
    child->SetPos(RECT{m_rcItem.left + f.left, m_rcItem.top + f.top, m_rcItem.left + f.right,
                       m_rcItem.top + f.bottom});
}

void CContainerUI::SetPos(const RECT& rc) {
    m_rcItem = rc;
    RECT inner = InnerRect(rc);
    for (CControlUI* child : m_items) {
        if (child->IsFloat()) {
            PlaceFloat(child, inner);
            continue;
        }
        const RECT& pad = child->GetPadding();
        RECT r{inner.left + pad.left, inner.top + pad.top, inner.right - pad.right,
               inner.bottom - pad.bottom};
        if (child->GetFixedWidth() > 0) {
            r.right = r.left + child->GetFixedWidth();
        }
        if (child->GetFixedHeight() > 0) {
            r.bottom = r.top + child->GetFixedHeight();
        }
        child->SetPos(r);
    }
}

CControlUI* CContainerUI::FindControl(POINT pt) {
    if (!m_bVisible || !contains(m_rcItem, pt)) {
        return nullptr;
    }
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
        if (CControlUI* found = (*it)->FindControl(pt)) {
            return found;
        }
    }
    return this;
}

void CContainerUI::SetAttribute(const char* name, const char* value) {
    if (is(name, "inset")) {
        m_rcInset = attr::toRect(value);
    } else if (is(name, "childpadding")) {
        m_iChildPadding = attr::toInt(value);
    } else {
        CControlUI::SetAttribute(name, value);
    }
}

void CContainerUI::DoPaint(CRenderContext& rc) {
    CControlUI::DoPaint(rc);
    for (CControlUI* item : m_items) {
        if (item->IsVisible()) {
            item->DoPaint(rc);
        }
    }
}

// A position far beyond any screen stays one: children pushed that far are
// simply off the window.
static int toPosition(long long value) {
    constexpr long long kFar = 1LL << 30;
    return static_cast<int>(value < -kFar ? -kFar : value > kFar ? kFar : value);
}

// Lays children along one axis.  `vertical` picks the axis; the code reads
// as for a vertical layout (main axis = height).
static void layoutLine(const std::vector<CControlUI*>& items, const RECT& inner, int gap,
                       bool vertical) {
    auto mainFixed = [&](CControlUI* c) {
        return vertical ? c->GetFixedHeight() : c->GetFixedWidth();
    };
    auto mainPad = [&](CControlUI* c) {
        const RECT& p = c->GetPadding();
        return vertical ? p.top + p.bottom : p.left + p.right;
    };
    int space = vertical ? inner.bottom - inner.top : inner.right - inner.left;
    // Wide enough for any number of children of the largest size.
    long long used = 0;
    int stretchers = 0;
    int shown = 0;
    for (CControlUI* c : items) {
        if (!c->IsVisible() || c->IsFloat()) {
            continue;
        }
        ++shown;
        used += mainPad(c) + mainFixed(c);
        stretchers += mainFixed(c) > 0 ? 0 : 1;
    }
    used += static_cast<long long>(gap) * std::max(0, shown - 1);
    int remaining = static_cast<int>(std::max(0LL, space - used));
    int share = stretchers ? remaining / stretchers : 0;
    int leftover = stretchers ? remaining % stretchers : 0;
    long long cursor = vertical ? inner.top : inner.left;
    for (CControlUI* c : items) {
        if (!c->IsVisible() || c->IsFloat()) {
            continue;
        }
        const RECT& p = c->GetPadding();
        int length = mainFixed(c);
        if (length <= 0) {
            length = share + (--stretchers == 0 ? leftover : 0);
        }
        RECT r;
        if (vertical) {
            cursor += p.top;
            r.top = toPosition(cursor);
            r.bottom = toPosition(cursor + length);
            r.left = inner.left + p.left;
            r.right = c->GetFixedWidth() > 0 ? r.left + c->GetFixedWidth() : inner.right - p.right;
            cursor += static_cast<long long>(length) + p.bottom + gap;
        } else {
            cursor += p.left;
            r.left = toPosition(cursor);
            r.right = toPosition(cursor + length);
            r.top = inner.top + p.top;
            r.bottom =
                c->GetFixedHeight() > 0 ? r.top + c->GetFixedHeight() : inner.bottom - p.bottom;
            cursor += static_cast<long long>(length) + p.right + gap;
        }
        c->SetPos(r);
    }
}

const char* CVerticalLayoutUI::GetClass() const {
    return "VerticalLayout";
}

void CVerticalLayoutUI::SetPos(const RECT& rc) {
    m_rcItem = rc;
    RECT inner = InnerRect(rc);
    layoutLine(m_items, inner, m_iChildPadding, true);
    for (CControlUI* c : m_items) {
        if (c->IsFloat()) {
            PlaceFloat(c, inner);
        }
    }
}

const char* CHorizontalLayoutUI::GetClass() const {
    return "HorizontalLayout";
}

void CHorizontalLayoutUI::SetPos(const RECT& rc) {
    m_rcItem = rc;
    RECT inner = InnerRect(rc);
    layoutLine(m_items, inner, m_iChildPadding, false);
    for (CControlUI* c : m_items) {
        if (c->IsFloat()) {
            PlaceFloat(c, inner);
        }
    }
}

const char* CTabLayoutUI::GetClass() const {
    return "TabLayout";
}

void CTabLayoutUI::OnAdded(CControlUI* control) {
    control->SetVisible(GetCount() - 1 == m_iCurSel);
}

bool CTabLayoutUI::SelectItem(int index, bool raiseEvent) {
    if (index < 0 || index >= GetCount()) {
        return false;
    }
    int old = m_iCurSel;
    if (index == old) {
        return true;
    }
    m_iCurSel = index;
    for (int i = 0; i < GetCount(); ++i) {
        GetItemAt(i)->SetVisible(i == index);
    }
    NeedUpdate();
    if (raiseEvent && m_pManager) {
        m_pManager->SendNotify(this, "selectchanged", static_cast<WPARAM>(index), old);
    }
    return true;
}

void CTabLayoutUI::SetAttribute(const char* name, const char* value) {
    if (is(name, "selectedid")) {
        m_iCurSel = attr::toInt(value);
        for (int i = 0; i < GetCount(); ++i) {
            GetItemAt(i)->SetVisible(i == m_iCurSel);
        }
    } else {
        CContainerUI::SetAttribute(name, value);
    }
}

// ---- Text ---------------------------------------------------------------------------

const char* CLabelUI::GetClass() const {
    return "Label";
}

void CLabelUI::SetTextColor(DWORD argb) {
    m_dwTextColor = argb;
    Invalidate();
}

void CLabelUI::SetTextStyle(UINT style) {
    m_uTextStyle = style;
    Invalidate();
}

void CLabelUI::SetAttribute(const char* name, const char* value) {
    if (is(name, "textcolor")) {
        m_dwTextColor = attr::toColor(value);
    } else if (is(name, "disabledtextcolor")) {
        m_dwDisabledTextColor = attr::toColor(value);
    } else if (is(name, "fontsize")) {
        m_nFontSize = std::max(1, attr::toInt(value));
    } else if (is(name, "bold")) {
        m_bBold = attr::toBool(value);
    } else if (is(name, "textpadding")) {
        m_rcTextPadding = attr::toRect(value);
    } else if (is(name, "align")) {
        m_uTextStyle &= ~(DT_CENTER | DT_RIGHT);
        m_uTextStyle |= is(value, "center") ? DT_CENTER : is(value, "right") ? DT_RIGHT : DT_LEFT;
    } else if (is(name, "valign")) {
        m_uTextStyle &= ~(DT_VCENTER | DT_BOTTOM);
        m_uTextStyle |= is(value, "top") ? DT_TOP : is(value, "bottom") ? DT_BOTTOM : DT_VCENTER;
    } else {
        CControlUI::SetAttribute(name, value);
    }
}

DWORD CLabelUI::CurrentTextColor() const {
    if (!m_bEnabled) {
        return m_dwDisabledTextColor ? m_dwDisabledTextColor : faded(m_dwTextColor);
    }
    return m_dwTextColor;
}

void CLabelUI::PaintText(CRenderContext& rc, const RECT& area, DWORD argb) {
    RECT r{area.left + m_rcTextPadding.left, area.top + m_rcTextPadding.top,
           area.right - m_rcTextPadding.right, area.bottom - m_rcTextPadding.bottom};
    rc.drawText(m_sText.str(), r, argb, m_nFontSize, m_bBold, m_uTextStyle);
}

void CLabelUI::DoPaint(CRenderContext& rc) {
    CControlUI::DoPaint(rc);
    PaintText(rc, m_rcItem, CurrentTextColor());
}

CTextUI::CTextUI() {
    m_uTextStyle = DT_LEFT | DT_TOP | DT_WORDBREAK;
}

const char* CTextUI::GetClass() const {
    return "Text";
}

// ---- Buttons ---------------------------------------------------------------------------

CButtonUI::CButtonUI() {
    m_uTextStyle = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
}

const char* CButtonUI::GetClass() const {
    return "Button";
}

void CButtonUI::Activate() {
    if (m_pManager && m_bEnabled && IsVisibleOnScreen()) {
        m_pManager->SendNotify(this, "click");
    }
}

void CButtonUI::SetAttribute(const char* name, const char* value) {
    struct ColorAttr {
        const char* name;
        DWORD CButtonUI::*member;
    };
    static const ColorAttr colors[] = {{"hotbkcolor", &CButtonUI::m_dwHotBkColor},
                                       {"pushedbkcolor", &CButtonUI::m_dwPushedBkColor},
                                       {"disabledbkcolor", &CButtonUI::m_dwDisabledBkColor},
                                       {"hottextcolor", &CButtonUI::m_dwHotTextColor},
                                       {"pushedtextcolor", &CButtonUI::m_dwPushedTextColor}};
    for (const ColorAttr& c : colors) {
        if (is(name, c.name)) {
            this->*c.member = attr::toColor(value);
            return;
        }
    }
    if (is(name, "normalimage")) {
        m_sNormalImage = value;
    } else if (is(name, "hotimage")) {
        m_sHotImage = value;
    } else if (is(name, "pushedimage")) {
        m_sPushedImage = value;
    } else if (is(name, "disabledimage")) {
        m_sDisabledImage = value;
    } else {
        CLabelUI::SetAttribute(name, value);
    }
}

DWORD CButtonUI::CurrentBkColor() const {
    if (!m_bEnabled) {
        return m_dwDisabledBkColor ? m_dwDisabledBkColor : m_dwBkColor;
    }
    if (IsPushed() && IsHot() && m_dwPushedBkColor) {
        return m_dwPushedBkColor;
    }
    if ((IsHot() || IsPushed()) && m_dwHotBkColor) {
        return m_dwHotBkColor;
    }
    return m_dwBkColor;
}

DWORD CButtonUI::CurrentTextColor() const {
    if (m_bEnabled && IsPushed() && IsHot() && m_dwPushedTextColor) {
        return m_dwPushedTextColor;
    }
    if (m_bEnabled && (IsHot() || IsPushed()) && m_dwHotTextColor) {
        return m_dwHotTextColor;
    }
    return CLabelUI::CurrentTextColor();
}

CDuiString CButtonUI::CurrentImage() const {
    if (!m_bEnabled && !m_sDisabledImage.IsEmpty()) {
        return m_sDisabledImage;
    }
    if (m_bEnabled && IsPushed() && IsHot() && !m_sPushedImage.IsEmpty()) {
        return m_sPushedImage;
    }
    if (m_bEnabled && (IsHot() || IsPushed()) && !m_sHotImage.IsEmpty()) {
        return m_sHotImage;
    }
    return m_sNormalImage;
}

void CButtonUI::DoPaint(CRenderContext& rc) {
    PaintBkColor(rc, CurrentBkColor());
    PaintImage(rc, m_sBkImage);
    PaintImage(rc, CurrentImage());
    PaintBorder(rc);
    PaintText(rc, m_rcItem, CurrentTextColor());
}

CCheckBoxUI::CCheckBoxUI() {
    m_uTextStyle = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
}

const char* CCheckBoxUI::GetClass() const {
    return "CheckBox";
}

void CCheckBoxUI::SetCheck(bool check, bool triggerEvent) {
    if (m_bSelected == check) {
        return;
    }
    m_bSelected = check;
    Invalidate();
    if (triggerEvent && m_pManager) {
        m_pManager->SendNotify(this, "selectchanged", check ? 1 : 0);
    }
}

void CCheckBoxUI::Activate() {
    if (!m_pManager || !m_bEnabled || !IsVisibleOnScreen()) {
        return;
    }
    // Listeners see the state before the click, then the box toggles.
    m_pManager->SendNotify(this, "click");
    SetCheck(!m_bSelected, true);
}

void CCheckBoxUI::SetAttribute(const char* name, const char* value) {
    if (is(name, "selected")) {
        m_bSelected = attr::toBool(value);
    } else if (is(name, "selectedcolor")) {
        m_dwSelectedColor = attr::toColor(value);
    } else if (is(name, "boxcolor")) {
        m_dwBoxColor = attr::toColor(value);
    } else {
        CButtonUI::SetAttribute(name, value);
    }
}

void CCheckBoxUI::DoPaint(CRenderContext& rc) {
    PaintBkColor(rc, m_dwBkColor);
    int side = std::min(16, static_cast<int>(m_rcItem.bottom - m_rcItem.top));
    int top = m_rcItem.top + (m_rcItem.bottom - m_rcItem.top - side) / 2;
    RECT box{m_rcItem.left, top, m_rcItem.left + side, top + side};
    DWORD accent = m_bEnabled ? m_dwSelectedColor : faded(m_dwSelectedColor);
    if (m_bSelected) {
        rc.fillRect(box, accent, 3);
        rc.drawTick(box, 0xFFFFFFFF);
    } else {
        rc.fillRect(box, 0xFFFFFFFF, 3);
        rc.strokeRect(box, (IsHot() && m_bEnabled) ? accent : m_dwBoxColor, 1.5, 3);
    }
    RECT textArea = m_rcItem;
    textArea.left = box.right + 8;
    PaintText(rc, textArea, CurrentTextColor());
}

// ---- Progress -----------------------------------------------------------------------------

const char* CProgressUI::GetClass() const {
    return "Progress";
}

void CProgressUI::SetMinValue(int value) {
    m_nMin = value;
    m_nMax = std::max(m_nMax, m_nMin);
    SetValue(m_nValue);
}

void CProgressUI::SetMaxValue(int value) {
    m_nMax = value;
    m_nMin = std::min(m_nMin, m_nMax);
    SetValue(m_nValue);
}

void CProgressUI::SetValue(int value) {
    m_nValue = std::clamp(value, m_nMin, m_nMax);
    Invalidate();
}

void CProgressUI::SetAttribute(const char* name, const char* value) {
    if (is(name, "min")) {
        SetMinValue(attr::toInt(value));
    } else if (is(name, "max")) {
        SetMaxValue(attr::toInt(value));
    } else if (is(name, "value")) {
        SetValue(attr::toInt(value));
    } else if (is(name, "forecolor")) {
        m_dwForeColor = attr::toColor(value);
    } else {
        CLabelUI::SetAttribute(name, value);
    }
}

void CProgressUI::DoPaint(CRenderContext& rc) {
    int h = m_rcItem.bottom - m_rcItem.top;
    double radius = m_cxyBorderRound.cx > 0 ? CornerRadius() : h / 2.0;
    rc.fillRect(m_rcItem, m_dwBkColor, radius);
    int span = m_nMax - m_nMin;
    if (span > 0 && m_nValue > m_nMin) {
        RECT fill = m_rcItem;
        long long w = m_rcItem.right - m_rcItem.left;
        fill.right = m_rcItem.left + static_cast<LONG>(w * (m_nValue - m_nMin) / span);
        rc.fillRect(fill, m_dwForeColor, std::min(radius, (fill.right - fill.left) / 2.0));
    }
    PaintBorder(rc);
    PaintText(rc, m_rcItem, CurrentTextColor());
}

}  // namespace DuiLib
