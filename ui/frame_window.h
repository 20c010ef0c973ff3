// CFrameWindowWnd: the installer's only window.  A borderless skinned window
// built from "main.xml": caption dragging, rounded corners, the pages of
// "switch" (start, custom install, installing, finished, failed), the
// progress display and every button's action.
//
// Contract:
// - Created on the heap by the program entry and deleted by itself after its
//   last message (OnFinalMessage).
// - Everything runs on the window thread, which never waits on the network:
//   events and the size query go through the context's sender.  An install
//   run reports from the download thread through its observer, and the
//   sender hands over the package size; both only post WM_INSTALL_* and
//   WM_PACKAGE_SIZE messages to this window's handle, applied here in order.
//   Once the window is destroyed such posts are refused, so a run or a reply
//   that outlives the window touches nothing of it.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "duilib/UIlib.h"
#include "install/install.h"

namespace ui {

using DuiLib::LPARAM;
using DuiLib::LRESULT;
using DuiLib::UINT;
using DuiLib::WPARAM;

// Messages an install run posts to the window.
constexpr UINT WM_INSTALL_PROGRESS = DuiLib::WM_USER + 1;  // wParam: whole percentage
constexpr UINT WM_INSTALL_FINISHED = DuiLib::WM_USER + 2;  // show the finished page
constexpr UINT WM_INSTALL_FAILED =
    DuiLib::WM_USER + 3;  // wParam: InstallFailure, lParam: HTTP status
// The package size has arrived (in the window's size mailbox).
constexpr UINT WM_PACKAGE_SIZE = DuiLib::WM_USER + 4;

// How the installer makes its window: an ordinary overlapped window (its
// frame is drawn away by the skin) with a raised edge.
constexpr const char* kMainWindowTitle = "安装包下载器";
constexpr DuiLib::DWORD kMainWindowStyle = DuiLib::WS_VISIBLE | DuiLib::WS_OVERLAPPEDWINDOW;
constexpr DuiLib::DWORD kMainWindowExStyle = DuiLib::WS_EX_WINDOWEDGE;

// Pages of "switch" and the installing page's background timer.
constexpr int kStartPage = 0;
constexpr int kCustomPage = 1;
constexpr int kInstallingPage = 2;
constexpr int kFinishedPage = 3;
constexpr int kFailedPage = 4;
constexpr DuiLib::UINT_PTR kBackgroundTimer = 1;

// The whole-number percentage shown for a progress value: values of 1.0 and
// below (and anything that is not a number) show as 0.
int progressValue(double percent);

class CFrameWindowWnd : public DuiLib::CWindowWnd, public DuiLib::INotifyUI {
  public:
    CFrameWindowWnd();

    std::string m_exePath;
    std::string m_installDir;
    int m_bkIndex = 0;
    std::vector<std::string> m_bkImages;
    DuiLib::CPaintManagerUI m_pm;

    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void Notify(DuiLib::TNotifyUI& msg) override;

    // Shows a new install location: the product folder and the free space.
    void setUiIntallPathAndFreeSpace(std::string folder);
    // Fixes the product folder last shown (m_installDir, m_exePath) and
    // prepares the run that installs there.
    void startInstall();
    // The window's part of the completion: the animation stops and the
    // finished page shows.
    void finishInstall();
    // Selects a page; the installing page reports "pc_Installing" and animates.
    void switchPage(int page);
    // Shows a percentage on "progresslbl" and "Progress".
    void showProgress(double percent);
    // The failure page with the reason.
    void showFailure(const install::InstallOutcome& outcome);

  protected:
    const char* GetWindowClassName() const override { return "UIMainFrame"; }
    UINT GetClassStyle() const override {
        return DuiLib::CS_VREDRAW | DuiLib::CS_HREDRAW | DuiLib::CS_DBLCLKS;
    }
    void OnFinalMessage(DuiLib::HWND hWnd) override;

  private:
    LRESULT onCreate();
    void askForPackageSize();
    void showPackageSize();
    LRESULT captionHitTest(LPARAM lParam);
    void applyRoundRegion();
    void nextBackground();
    void onAgreementClicked(const char* boxName);
    void onStartClicked();
    void startInstallThread();
    LRESULT defaultHandling(UINT uMsg, WPARAM wParam, LPARAM lParam);

    // The size text the sender's thread leaves for the window's thread.
    struct SizeMailbox {
        std::mutex mutex;
        std::string text;
    };

    std::unique_ptr<install::InstallRun> m_run;  // prepared by startInstall, then run on its thread
    bool m_archiveWhole = false;                 // the last run kept a whole archive for a retry
    std::shared_ptr<SizeMailbox> m_sizeMailbox = std::make_shared<SizeMailbox>();
};

}  // namespace ui
