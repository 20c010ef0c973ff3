// The install run: fixing the product folder when a start button is pressed,
// the download thread, and the completion after a successful download.
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

#include "context/installer_context.h"
#include "install/install.h"
#include "platform/platform.h"
#include "ui/frame_window.h"
#include "ui/window_link.h"

using namespace DuiLib;

namespace {

std::mutex g_liveMutex;
std::map<const void*, HWND> g_liveWindows;

void completeInstall(const InstallTarget& target) {
    ExtractResult extracted =
        completeInstallation(InstallerContext::instance(), target.productFolder, target.exePath);
    if (extracted.ok()) {
        PostMessage(target.hWnd, WM_INSTALL_FINISHED, 0, 0);
    } else {
        PostMessage(target.hWnd, WM_INSTALL_FAILED,
                    static_cast<WPARAM>(InstallFailure::ExtractFailed), 0);
    }
}

}  // namespace

void rememberLiveWindow(const void* window, HWND hWnd) {
    std::lock_guard<std::mutex> lock(g_liveMutex);
    g_liveWindows[window] = hWnd;
}

void forgetLiveWindow(const void* window) {
    std::lock_guard<std::mutex> lock(g_liveMutex);
    g_liveWindows.erase(window);
}

bool postToLiveWindow(const void* window, UINT msg, WPARAM wParam) {
    HWND hWnd = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_liveMutex);
        auto found = g_liveWindows.find(window);
        if (found == g_liveWindows.end()) {
            return false;
        }
        hWnd = found->second;
    }
    return PostMessage(hWnd, msg, wParam, 0) != FALSE;
}

// The window is erased from the table on WM_DESTROY, before it is deleted, so
// while the lock is held a listed window's members are safe to read.
std::optional<InstallTarget> takeInstallTarget(const CFrameWindowWnd* window) {
    std::lock_guard<std::mutex> lock(g_liveMutex);
    auto found = g_liveWindows.find(window);
    if (found == g_liveWindows.end()) {
        return std::nullopt;
    }
    return InstallTarget{found->second, window->m_installDir, window->m_exePath};
}

void finishInstallFor(CFrameWindowWnd* window) {
    std::optional<InstallTarget> target = takeInstallTarget(window);
    if (target) {
        completeInstall(*target);
    }
}

void CFrameWindowWnd::finishInstall() {
    finishInstallFor(this);
}

bool CFrameWindowWnd::extractPackage() {
    return extractArchive(archivePathFor(m_installDir), m_installDir, std::cout).ok();
}

void CFrameWindowWnd::setUiIntallPathAndFreeSpace(std::string folder) {
    if (folder.empty()) {
        std::cout << "path is empty!! setUiIntallPathAndFreeSpace failed. " << std::flush;
        return;
    }
    folder = trimInstallFolder(folder);
    m_installDir = folder;
    m_exePath = mainExecutableFor(folder);
    InstallerContext::instance().setInstallDir(folder);
    if (CControlUI* path = m_pm.FindControl("installPath")) {
        path->SetText(productFolderFor(folder).c_str());
    }
    if (CControlUI* space = m_pm.FindControl("freeSpace")) {
        space->SetText(formatFreeSpace(folder).c_str());
    }
}

void CFrameWindowWnd::startInstall() {
    CControlUI* path = m_pm.FindControl("installPath");
    if (!path) {
        return;
    }
    std::string folder = path->GetText().GetData();
    if (!platform::fileExists(folder)) {
        createProductFolder(folder);
    }
    m_installDir = folder;
    m_exePath = mainExecutableIn(folder);
    InstallerContext::instance().setInstallDir(folder);
}

// Detached: nobody waits for the download; the process ends with the window.
void CFrameWindowWnd::startDownloadThread() {
    InstallerContext* context = &InstallerContext::instance();
    const void* window = this;
    try {
        std::thread([context, window] {
            if (!downloadPackage(*context)) {
                postToLiveWindow(window, WM_INSTALL_FAILED,
                                 static_cast<WPARAM>(InstallFailure::DownloadFailed));
            }
        }).detach();
    } catch (const std::system_error&) {
        showFailure(InstallFailure::DownloadFailed);
    }
}
