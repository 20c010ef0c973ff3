// A window built the way the installer builds its own (layout loaded in
// WM_CREATE, default handling through the paint manager) on the NULL
// backend.  It records into a trace that outlives it, as the window deletes
// itself in OnFinalMessage.
#pragma once

#include <string>
#include <vector>

#include "duilib/UIlib.h"

namespace duitest {

using namespace DuiLib;

struct WindowTrace {
    std::vector<std::string> notes;               // "click agree checked=0"
    std::vector<std::pair<UINT, WPARAM>> posted;  // WM_TIMER, WM_DESTROY and WM_USER + n
    bool finalMessage = false;
};

class TestWindow : public CWindowWnd, public INotifyUI {
  public:
    TestWindow(std::string layout, WindowTrace& trace)
        : m_layout(std::move(layout)), m_trace(trace) {}

    std::string m_layout;
    WindowTrace& m_trace;
    CPaintManagerUI m_pm;
    LRESULT m_hitTest = 0;  // the answer to WM_NCHITTEST; 0 leaves it to default handling

    POINT centerOf(const std::string& name) {
        RECT rc = m_pm.FindControl(name.c_str())->GetPos();
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
            m_pm.AttachDialog(CDialogBuilder().Create(m_layout.c_str(), 0u, nullptr, &m_pm));
            m_pm.AddNotifier(this);
            return 0;
        }
        if (msg == WM_TIMER || msg == WM_DESTROY || msg >= WM_USER) {
            m_trace.posted.emplace_back(msg, wParam);
        }
        if (msg == WM_NCHITTEST && m_hitTest) {
            return m_hitTest;
        }
        LRESULT result = 0;
        return m_pm.MessageHandler(msg, wParam, lParam, result)
                   ? result
                   : CWindowWnd::HandleMessage(msg, wParam, lParam);
    }

  protected:
    const char* GetWindowClassName() const override { return "TestWindow"; }
    void OnFinalMessage(HWND) override {
        m_trace.finalMessage = true;
        delete this;
    }
};

inline TestWindow* openWindow(const std::string& layout, WindowTrace& trace) {
    UseNullBackend();
    auto* window = new TestWindow(layout, trace);
    window->Create(nullptr, "test", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0);
    return window;
}

}  // namespace duitest
