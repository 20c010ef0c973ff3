// The NULL backend: windows without a display.  Posted messages and timers
// still run: in MessageLoop on their own schedule, and on demand through
// PumpMessages / FireTimer.  Needs no system library.
#include <algorithm>

#include "duilib/window_layer.h"

namespace DuiLib {
namespace {

using Clock = std::chrono::steady_clock;

class NullBackend : public WindowBackend {
  public:
    bool isNull() const override { return true; }
    bool createNative(WindowRecord&) override { return true; }
    void destroyNative(WindowRecord&) override {}
    void show(WindowRecord&, bool, bool) override {}
    void place(WindowRecord&) override {}
    void invalidate(WindowRecord&) override {}
    void applyRegion(WindowRecord&) override {}
    void startTimer(WindowRecord&, UINT_PTR) override {}
    void stopTimer(WindowRecord&, UINT_PTR) override {}
    void beginDrag(WindowRecord&, POINT) override {}
    RECT workArea() override { return RECT{0, 0, 1920, 1080}; }
    void wake() override {}
    void quit() override {}
    bool capture(WindowRecord&, const std::string&) override { return false; }
    // Nobody to ask: the answer a test set with SetNextFolderChoice.
    std::string chooseFolder(WindowRecord*, const std::string&) override {
        return WindowLayer::takeFolderChoice();
    }

    int run() override {
        int exitCode = 0;
        while (!WindowLayer::takeQuit(&exitCode)) {
            WindowLayer::drainPosted();
            fireDueTimers();
            WindowLayer::waitForWork(nextDue());
        }
        return exitCode;
    }

  private:
    static void fireDueTimers() {
        Clock::time_point now = Clock::now();
        std::vector<std::pair<HWND, UINT_PTR>> due;
        for (HWND hWnd : WindowLayer::liveWindows()) {
            WindowRecord* w = WindowLayer::find(hWnd);
            for (auto& timer : w->timers) {
                if (timer.second.due <= now) {
                    timer.second.due = now + std::chrono::milliseconds(timer.second.elapseMs);
                    due.emplace_back(hWnd, timer.first);
                }
            }
        }
        // A tick may kill timers or windows; timerTick checks again.
        for (const auto& tick : due) {
            WindowLayer::timerTick(tick.first, tick.second);
        }
    }

    static Clock::time_point nextDue() {
        Clock::time_point next = Clock::now() + std::chrono::seconds(1);
        for (HWND hWnd : WindowLayer::liveWindows()) {
            for (const auto& timer : WindowLayer::find(hWnd)->timers) {
                next = std::min(next, timer.second.due);
            }
        }
        return next;
    }
};

}  // namespace

std::unique_ptr<WindowBackend> makeNullBackend() {
    return std::make_unique<NullBackend>();
}

}  // namespace DuiLib
