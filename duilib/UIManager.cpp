#include "duilib/UIManager.h"

#include <algorithm>
#include <chrono>

#include "duilib/attributes.h"
#include "duilib/render.h"
#include "duilib/window_layer.h"
#include "platform/platform.h"

namespace DuiLib {
namespace {

HINSTANCE g_instance = nullptr;
CDuiString g_resourcePath;
const CPaintManagerUI::BuiltInResource* g_builtIn = nullptr;
std::size_t g_builtInCount = 0;

bool contains(const RECT& rc, POINT pt) {
    return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}

POINT pointOf(LPARAM lParam) {
    return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

DWORD timestamp() {
    using namespace std::chrono;
    return static_cast<DWORD>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool usable(const CControlUI* c) {
    return c && c->IsEnabled() && c->IsVisibleOnScreen();
}

}  // namespace

CPaintManagerUI::~CPaintManagerUI() {
    CControlUI* root = m_pRoot;
    m_pRoot = nullptr;
    delete root;
}

void CPaintManagerUI::Init(HWND hWnd, const char*) {
    m_hWnd = hWnd;
    NeedUpdate();
}

bool CPaintManagerUI::AttachDialog(CControlUI* root) {
    if (!root) {
        return false;
    }
    CControlUI* old = m_pRoot;
    m_pRoot = nullptr;
    delete old;
    m_pHot = m_pPushed = m_pFocus = nullptr;
    m_pRoot = root;
    root->SetManager(this, nullptr);
    NeedUpdate();
    return true;
}

bool CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
    if (!notifier ||
        std::find(m_notifiers.begin(), m_notifiers.end(), notifier) != m_notifiers.end()) {
        return false;
    }
    m_notifiers.push_back(notifier);
    return true;
}

bool CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
    auto found = std::find(m_notifiers.begin(), m_notifiers.end(), notifier);
    if (found == m_notifiers.end()) {
        return false;
    }
    m_notifiers.erase(found);
    return true;
}

CControlUI* CPaintManagerUI::FindControl(const char* name) const {
    return (m_pRoot && name) ? m_pRoot->FindControl(name) : nullptr;
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) {
    ensureLayout();
    return m_pRoot ? m_pRoot->FindControl(pt) : nullptr;
}

void CPaintManagerUI::SetRoundCorner(int cx, int cy) {
    m_szRoundCorner = SIZE{cx, cy};
    Invalidate();
}

void CPaintManagerUI::SetInitSize(int cx, int cy) {
    m_szInitSize = SIZE{cx, cy};
    RECT rc;
    if (m_hWnd && GetWindowRect(m_hWnd, &rc)) {
        MoveWindow(m_hWnd, rc.left, rc.top, cx, cy, TRUE);
    }
}

void CPaintManagerUI::SendNotify(CControlUI* sender, const char* type, WPARAM wParam,
                                 LPARAM lParam) {
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = sender;
    msg.dwTimestamp = timestamp();
    msg.wParam = wParam;
    msg.lParam = lParam;
    // A notifier may remove notifiers; walk a copy.
    std::vector<INotifyUI*> notifiers = m_notifiers;
    for (INotifyUI* notifier : notifiers) {
        notifier->Notify(msg);
    }
}

CControlUI* CPaintManagerUI::GetFocus() const {
    return (usable(m_pFocus) && m_pFocus->IsFocusable()) ? m_pFocus : nullptr;
}

void CPaintManagerUI::SetFocus(CControlUI* control, bool showRing) {
    m_pFocus = control;
    m_bFocusRing = showRing && control;
    Invalidate();
}

void CPaintManagerUI::Invalidate() {
    if (m_hWnd) {
        InvalidateRect(m_hWnd, nullptr, FALSE);
    }
}

// Layout runs at once: the trees are small, and positions read right after a
// change (GetPos, hit tests without a paint in between) must be current.
void CPaintManagerUI::NeedUpdate() {
    m_bNeedLayout = true;
    ensureLayout();
    Invalidate();
}

void CPaintManagerUI::ReapObject(CControlUI* control) {
    if (m_pHot == control) {
        m_pHot = nullptr;
    }
    if (m_pPushed == control) {
        m_pPushed = nullptr;
    }
    if (m_pFocus == control) {
        m_pFocus = nullptr;
    }
}

void CPaintManagerUI::ensureLayout() {
    if (!m_bNeedLayout || !m_pRoot) {
        return;
    }
    RECT client{0, 0, m_szInitSize.cx, m_szInitSize.cy};
    if (m_hWnd) {
        GetClientRect(m_hWnd, &client);
    }
    m_bNeedLayout = false;
    m_pRoot->SetPos(client);
}

bool CPaintManagerUI::MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (msg) {
        case WM_PAINT:
            if (wParam) {
                paint(*reinterpret_cast<CRenderContext*>(wParam));
                return true;
            }
            return false;
        case WM_SIZE:
            NeedUpdate();
            return false;
        case WM_MOUSEMOVE:
            onMouseMove(pointOf(lParam));
            return false;
        case WM_MOUSELEAVE:
            if (m_pHot) {
                m_pHot = nullptr;
                Invalidate();
            }
            return false;
        case WM_LBUTTONDOWN:
            onButtonDown(pointOf(lParam));
            return false;
        case WM_LBUTTONUP:
            onButtonUp(pointOf(lParam));
            return false;
        case WM_KEYDOWN:
            return onKeyDown(static_cast<UINT>(wParam));
        default:
            return false;
    }
}

// The control a press at `pt` works on: the nearest button or check box
// around the topmost control there, when it is enabled.
CControlUI* CPaintManagerUI::clickTarget(POINT pt) {
    CControlUI* c = FindControl(pt);
    while (c && !c->IsFocusable()) {
        c = c->GetParent();
    }
    return (c && c->IsEnabled()) ? c : nullptr;
}

void CPaintManagerUI::onMouseMove(POINT pt) {
    CControlUI* hot = clickTarget(pt);
    if (hot != m_pHot) {
        m_pHot = hot;
        Invalidate();
    }
}

void CPaintManagerUI::onButtonDown(POINT pt) {
    m_pPushed = clickTarget(pt);
    m_pHot = m_pPushed;
    // A click ends keyboard navigation: the ring goes and Enter means the
    // page's default button again.
    m_pFocus = nullptr;
    m_bFocusRing = false;
    Invalidate();
}

void CPaintManagerUI::onButtonUp(POINT pt) {
    CControlUI* pushed = m_pPushed;
    m_pPushed = nullptr;
    Invalidate();
    if (pushed && contains(pushed->GetPos(), pt) && usable(pushed)) {
        pushed->Activate();
    }
}

bool CPaintManagerUI::onKeyDown(UINT key) {
    CControlUI* target = nullptr;
    switch (key) {
        case VK_TAB:
            moveFocus(GetKeyState(static_cast<int>(VK_SHIFT)) >= 0);
            return true;
        case VK_SPACE:
            target = GetFocus();
            break;
        case VK_RETURN:
            target = GetFocus() ? GetFocus() : findMarked(true);
            break;
        case VK_ESCAPE:
            target = findMarked(false);
            break;
        default:
            return false;
    }
    if (target) {
        target->Activate();
    }
    return target != nullptr;
}

std::vector<CControlUI*> CPaintManagerUI::focusOrder() const {
    std::vector<CControlUI*> order;
    std::vector<CControlUI*> stack;
    if (m_pRoot) {
        stack.push_back(m_pRoot);
    }
    while (!stack.empty()) {
        CControlUI* c = stack.back();
        stack.pop_back();
        if (!c->IsVisible()) {
            continue;
        }
        if (c->IsFocusable() && c->IsEnabled()) {
            order.push_back(c);
        }
        for (int i = c->GetCount() - 1; i >= 0; --i) {
            stack.push_back(c->GetItemAt(i));
        }
    }
    return order;
}

void CPaintManagerUI::moveFocus(bool forward) {
    std::vector<CControlUI*> order = focusOrder();
    if (order.empty()) {
        SetFocus(nullptr);
        return;
    }
    auto at = std::find(order.begin(), order.end(), GetFocus());
    int n = static_cast<int>(order.size());
    int index;
    if (at == order.end()) {
        index = forward ? 0 : n - 1;
    } else {
        index = (static_cast<int>(at - order.begin()) + (forward ? 1 : n - 1)) % n;
    }
    SetFocus(order[static_cast<size_t>(index)], true);
}

CControlUI* CPaintManagerUI::findMarked(bool wantDefault) const {
    for (CControlUI* c : focusOrder()) {
        if (wantDefault ? c->IsDefault() : c->IsCancel()) {
            return c;
        }
    }
    return nullptr;
}

void CPaintManagerUI::paint(CRenderContext& rc) {
    ensureLayout();
    if (!m_pRoot) {
        return;
    }
    rc.save();
    rc.clipTo(m_pRoot->GetPos(), m_szRoundCorner.cx / 2.0, m_szRoundCorner.cy / 2.0);
    m_pRoot->DoPaint(rc);
    CControlUI* focus = GetFocus();
    if (focus && m_bFocusRing) {
        RECT ring = focus->GetPos();
        ring.left -= 3;
        ring.top -= 3;
        ring.right += 3;
        ring.bottom += 3;
        rc.strokeRect(ring, m_dwFocusRing, 2, 6);
    }
    rc.restore();
}

void CPaintManagerUI::SetInstance(HINSTANCE instance) {
    g_instance = instance;
}

HINSTANCE CPaintManagerUI::GetInstance() {
    return g_instance;
}

CDuiString CPaintManagerUI::GetInstancePath() {
    std::string dir = platform::programDir();
    return dir.empty() ? CDuiString() : CDuiString(dir + platform::kPathSep);
}

void CPaintManagerUI::SetResourcePath(const char* path) {
    std::string p = path ? path : "";
    if (!p.empty() && p.back() != platform::kPathSep) {
        p += platform::kPathSep;
    }
    g_resourcePath = p;
    clearImageCache();
}

CDuiString CPaintManagerUI::GetResourcePath() {
    return g_resourcePath;
}

void CPaintManagerUI::SetBuiltInResources(const BuiltInResource* table, std::size_t count) {
    g_builtIn = table;
    g_builtInCount = table ? count : 0;
    clearImageCache();
}

bool CPaintManagerUI::ReadResource(const std::string& name, std::size_t limit, std::string& bytes) {
    platform::FileHandle file =
        platform::openFileForReading(attr::resourceFile(name, g_resourcePath.str()));
    if (file.isOpen()) {
        // One byte more than allowed tells a file that is too large.
        bytes = platform::readAll(file, limit + 1);
        platform::closeFile(file);
        return bytes.size() <= limit;
    }
    for (std::size_t i = 0; i < g_builtInCount; ++i) {
        if (name == g_builtIn[i].name && g_builtIn[i].size <= limit) {
            bytes.assign(reinterpret_cast<const char*>(g_builtIn[i].data), g_builtIn[i].size);
            return true;
        }
    }
    return false;
}

int CPaintManagerUI::MessageLoop() {
    return WindowLayer::backend().run();
}

}  // namespace DuiLib
