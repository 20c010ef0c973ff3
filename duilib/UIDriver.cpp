// Driving windows without a person: the calls of UIDriver.h go through the
// same layer paths as real input.
#include "duilib/UIDriver.h"

#include "duilib/window_layer.h"

namespace DuiLib {

void UseNullBackend() {
    WindowLayer::requestNullBackend();
}

bool IsNullBackend() {
    return WindowLayer::backend().isNull();
}

int PumpMessages() {
    return WindowLayer::drainPosted();
}

bool FireTimer(HWND hWnd, UINT_PTR id) {
    if (!IsTimerRunning(hWnd, id)) {
        return false;
    }
    WindowLayer::timerTick(hWnd, id);
    return true;
}

bool IsTimerRunning(HWND hWnd, UINT_PTR id) {
    WindowRecord* w = WindowLayer::find(hWnd);
    return w && w->timers.count(id) != 0;
}

void SimulateClick(HWND hWnd, POINT pt) {
    WindowLayer::mouseMove(hWnd, pt);
    WindowLayer::mouseDown(hWnd, pt);
    WindowLayer::mouseUp(hWnd, pt);
}

void SimulateKey(HWND hWnd, UINT virtualKey, bool shift) {
    WindowLayer::key(hWnd, virtualKey, shift);
}

bool IsWindowMapped(HWND hWnd) {
    WindowRecord* w = WindowLayer::find(hWnd);
    return w && w->mapped && w->painted;
}

bool CaptureWindowPng(HWND hWnd, const char* path) {
    WindowRecord* w = WindowLayer::find(hWnd);
    if (!w || !path) {
        return false;
    }
    return WindowLayer::backend().capture(*w, path) || WindowLayer::renderPng(hWnd, path);
}

}  // namespace DuiLib
