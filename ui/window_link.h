// How the download thread reaches the window without touching it: a
// process-wide table of live windows, keyed by the object, holding each
// window's handle.  Posting through the handle is safe from any thread, and a
// handle never names another window once its own is gone.
#pragma once

#include <optional>
#include <string>

#include "duilib/UIlib.h"

class CFrameWindowWnd;

void rememberLiveWindow(const void* window, DuiLib::HWND hWnd);
void forgetLiveWindow(const void* window);
// Posts to the window when it is still alive; false otherwise.
bool postToLiveWindow(const void* window, DuiLib::UINT msg, DuiLib::WPARAM wParam);

// What the completion needs of the window, taken while the window is known
// to be alive.
struct InstallTarget {
    DuiLib::HWND hWnd = nullptr;
    std::string productFolder;  // m_installDir
    std::string exePath;        // m_exePath
};
std::optional<InstallTarget> takeInstallTarget(const CFrameWindowWnd* window);

// The completion for a window that may have been closed meanwhile.
void finishInstallFor(CFrameWindowWnd* window);
