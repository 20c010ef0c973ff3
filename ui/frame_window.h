// CFrameWindowWnd: the installer's only window.  A borderless skinned window
// built from "main.xml": caption dragging, rounded corners, the four pages of
// "switch" (0 start, 1 custom install, 2 installing, 3 finished) plus the
// failure page, the progress display and every button's action.
//
// Contract:
// - Created on the heap by the program entry and deleted by itself after its
//   last message (OnFinalMessage).  The installer context keeps a plain,
//   non-owning pointer to it (mainWindow).
// - Everything runs on the window thread except what the download thread
//   reaches through the context's callbacks: onProgress and the completion.
//   Those never touch a control or a timer: they post messages to the window
//   (WM_INSTALL_*), which the window thread applies in order.  Once the
//   window is destroyed such posts are dropped, and a completion that has not
//   yet taken the window's paths does nothing.
#pragma once

#include <string>
#include <vector>

#include "duilib/UIlib.h"

using DuiLib::LPARAM;
using DuiLib::LRESULT;
using DuiLib::UINT;
using DuiLib::WPARAM;

// Messages the window posts to itself from the download thread.
constexpr UINT WM_INSTALL_PROGRESS = DuiLib::WM_USER + 1;  // wParam: whole percentage
constexpr UINT WM_INSTALL_FINISHED = DuiLib::WM_USER + 2;  // show the finished page
constexpr UINT WM_INSTALL_FAILED = DuiLib::WM_USER + 3;    // wParam: InstallFailure

// Why an installation stopped; shown on the failure page.
enum class InstallFailure : int {
    DownloadFailed = 1,  // every download attempt failed
    ExtractFailed = 2,   // the archive could not be unpacked
};

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
    // Fixes the product folder shown in "installPath" and creates it.
    void startInstall();
    // The completion after a successful download (download thread).
    void finishInstall();
    // Unpacks the downloaded archive into m_installDir; true when it worked.
    bool extractPackage();
    // Selects a page; page 2 reports "pc_Installing" and animates.
    void switchPage(int page);
    // Shows a percentage on "progresslbl" and "Progress" (window thread).
    void showProgress(double percent);
    // The context's progressCallback: forwards to the window thread.
    static void onProgress(double percent, void* window);

  protected:
    const char* GetWindowClassName() const override { return "UIMainFrame"; }
    UINT GetClassStyle() const override { return 0x0B; }
    void OnFinalMessage(DuiLib::HWND hWnd) override;

  private:
    LRESULT onCreate();
    LRESULT captionHitTest(LPARAM lParam);
    void applyRoundRegion();
    void nextBackground();
    void onAgreementClicked(const char* boxName);
    void onStartClicked();
    void startDownloadThread();
    void showFinishedPage();
    void showFailure(InstallFailure failure);
    LRESULT defaultHandling(UINT uMsg, WPARAM wParam, LPARAM lParam);
};
