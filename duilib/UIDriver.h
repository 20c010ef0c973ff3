// Backend choice and driving windows without a person.
//
// Two backends draw the windows: the system's own (a real, borderless
// window; GTK 3 on Linux, whose main loop is the message loop, Win32 on
// Windows, with Windows' message loop) and NULL (no display at all: the
// control tree, notifications, timers and posted messages work, nothing is
// shown).  NULL is used when the environment variable DUILIB_BACKEND is
// "null", when UseNullBackend() was called before the first window, or when
// GTK finds no display.  The choice is made once, at the first window.
//
// The calls below work with both backends and go through the same paths as
// real input (hit test, mouse and key messages).  Window thread only.
#pragma once

#include "duilib/UIDefine.h"

namespace DuiLib {

void UseNullBackend();
bool IsNullBackend();

// Delivers the posted messages queued now (not those they post in turn);
// answers how many were delivered.
int PumpMessages();
// Delivers one WM_TIMER for a running timer; false when it does not run.
bool FireTimer(HWND hWnd, UINT_PTR id);
bool IsTimerRunning(HWND hWnd, UINT_PTR id);
// A left click at a client point: press (after the hit test) and release.
void SimulateClick(HWND hWnd, POINT pt);
void SimulateKey(HWND hWnd, UINT virtualKey, bool shift = false);

// True once the window is on screen and painted (always false for NULL).
bool IsWindowMapped(HWND hWnd);
// Writes the window as a PNG: the pixels on screen with a display backend,
// the window painted into memory otherwise (outside its region transparent).
bool CaptureWindowPng(HWND hWnd, const char* path);

}  // namespace DuiLib
