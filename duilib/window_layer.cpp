// The window layer: live windows, posted messages, timers and input
// translation, the same whatever backend shows the windows.
#include "duilib/window_layer.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <unordered_map>

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
    std::string nextFolderChoice;
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

}  // namespace

WindowBackend& WindowLayer::backend() {
    LayerState& s = state();
    std::call_once(s.backendOnce, [&s] { s.backend = makeWindowBackend(s.forceNull); });
    return *s.backend;
}

void WindowLayer::requestNullBackend() {
    state().forceNull = true;
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

// Every message reaches window code through here, called from the
// backends' C callbacks (GTK signals, the Win32 window procedure): nothing
// thrown may pass back through them.
LRESULT WindowLayer::dispatch(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WindowRecord* w = find(hWnd);
    if (!w || !w->owner) {
        return 0;
    }
    try {
        return w->owner->HandleMessage(msg, wParam, lParam);
    } catch (const std::exception& e) {
        platform::debugOutput("window message " + std::to_string(msg) + " failed: " + e.what());
    } catch (...) {
        platform::debugOutput("window message " + std::to_string(msg) + " failed");
    }
    return 0;
}

HWND WindowLayer::createWindow(CWindowWnd& owner, const char* title, DWORD style, DWORD exStyle,
                               const RECT& rect) {
    auto record = std::make_unique<WindowRecord>();
    record->owner = &owner;
    record->title = title ? title : "";
    record->className = owner.GetWindowClassName();
    record->classStyle = owner.GetClassStyle();
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
    if (!backend().createNative(*w)) {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.windows.erase(slotOf(w->handle));
        return nullptr;
    }
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
    bool resized = widthOf(rect) != widthOf(w->rect) || heightOf(rect) != heightOf(w->rect);
    w->rect = rect;
    if (!fromSystem) {
        backend().place(*w);
    }
    if (resized) {
        dispatch(hWnd, WM_SIZE, 0, MAKELPARAM(widthOf(rect), heightOf(rect)));
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

bool WindowLayer::shiftHeld() {
    return state().shiftDown;
}

void WindowLayer::paint(HWND hWnd, CRenderContext& context) {
    context.fillAll(0xFFFFFFFF);
    dispatch(hWnd, WM_PAINT, reinterpret_cast<WPARAM>(&context), 0);
    if (WindowRecord* w = find(hWnd)) {
        w->painted = true;
    }
}

bool WindowLayer::renderPng(HWND hWnd, const std::string& path) {
    WindowRecord* w = find(hWnd);
    if (!w) {
        return false;
    }
    return paintToPng(
        widthOf(w->rect), heightOf(w->rect),
        [hWnd](CRenderContext& context) {
            paint(hWnd, context);
            WindowRecord* painted = find(hWnd);
            return painted ? painted->region.get() : nullptr;
        },
        path);
}

bool WindowLayer::post(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LayerState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.windows.count(slotOf(hWnd))) {
            return false;
        }
        s.queue.push_back(PostedMessage{hWnd, msg, wParam, lParam, s.nextSequence++});
    }
    s.wakeUp.notify_all();
    backend().wake();
    return true;
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

void WindowLayer::requestQuit(int exitCode) {
    LayerState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.quit = true;
        s.quitCode = exitCode;
    }
    s.wakeUp.notify_all();
    backend().quit();
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

void WindowLayer::presetFolderChoice(const std::string& path) {
    state().nextFolderChoice = path;
}

std::string WindowLayer::takeFolderChoice() {
    std::string answer;
    answer.swap(state().nextFolderChoice);
    return answer;
}

}  // namespace DuiLib
