// A window built the way the installer builds its own: a layout loaded in
// WM_CREATE, default handling through the paint manager.  It records what
// reaches it so tests can check order and content.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "duilib/UIlib.h"

namespace duitest {

using namespace DuiLib;

struct Received {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Outlives the window (which deletes itself in OnFinalMessage).
struct WindowTrace {
    std::vector<std::string> notes;  // "click readAndAgree checked=0"
    std::vector<Received> messages;  // WM_TIMER, WM_SIZE, WM_DESTROY, WM_LBUTTONDOWN, WM_USER+
    bool finalMessage = false;
};

class TestWindow : public CWindowWnd, public INotifyUI {
  public:
    TestWindow(std::string layout, WindowTrace& trace)
        : m_layout(std::move(layout)), m_trace(trace) {}

    CPaintManagerUI m_pm;
    // Answer for WM_NCHITTEST; 0 leaves it to default handling.
    LRESULT m_hitTest = 0;
    // Called for every recorded message, after recording it.
    std::function<void(TestWindow&, UINT, WPARAM)> m_onMessage;

    template <class T = CControlUI>
    T* find(const char* name) {
        return dynamic_cast<T*>(m_pm.FindControl(name));
    }

    // Centre of a control, for clicks.
    POINT centerOf(const char* name) {
        RECT rc = m_pm.FindControl(name)->GetPos();
        return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    }

    void Notify(TNotifyUI& msg) override {
        std::string note = msg.sType.str() + " " + msg.pSender->GetName().str();
        if (auto* box = dynamic_cast<CCheckBoxUI*>(msg.pSender)) {
            note += box->GetCheck() ? " checked=1" : " checked=0";
        }
        m_trace.notes.push_back(note);
    }

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_CREATE) {
            m_pm.Init(m_hWnd);
            CDialogBuilder builder;
            m_pm.AttachDialog(
                builder.Create(m_layout.c_str(), static_cast<UINT>(0), nullptr, &m_pm));
            m_pm.AddNotifier(this);
            return 0;
        }
        if (msg == WM_TIMER || msg == WM_SIZE || msg == WM_DESTROY || msg == WM_LBUTTONDOWN ||
            msg >= WM_USER) {
            m_trace.messages.push_back(Received{msg, wParam, lParam});
            if (m_onMessage) {
                m_onMessage(*this, msg, wParam);
            }
        }
        if (msg == WM_NCHITTEST && m_hitTest) {
            return m_hitTest;
        }
        LRESULT result = 0;
        if (m_pm.MessageHandler(msg, wParam, lParam, result)) {
            return result;
        }
        return CWindowWnd::HandleMessage(msg, wParam, lParam);
    }

  protected:
    const char* GetWindowClassName() const override { return "TestWindow"; }
    void OnFinalMessage(HWND) override {
        m_trace.finalMessage = true;
        delete this;
    }

  private:
    std::string m_layout;
    WindowTrace& m_trace;
};

// Opens a TestWindow on the NULL backend; the window deletes itself when
// destroyed, and the fixture destroys what a test leaves open.
inline TestWindow* openWindow(const std::string& layout, WindowTrace& trace) {
    UseNullBackend();
    auto* window = new TestWindow(layout, trace);
    window->Create(nullptr, "test", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0);
    return window;
}

}  // namespace duitest
