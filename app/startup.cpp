#include "app/startup.h"

#include "app/silent.h"
#include "backend/backend.h"
#include "context/installer_context.h"
#include "duilib/UIlib.h"
#include "platform/platform.h"
#include "ui/frame_window.h"

// The skin compiled into the program (skin/CMakeLists.txt).
extern const DuiLib::CPaintManagerUI::BuiltInResource kBuiltInSkin[];
extern const std::size_t kBuiltInSkinCount;

namespace app {

using context::InstallerContext;

std::string promotionIdFrom(const std::string& argumentText) {
    size_t underscore = argumentText.rfind('_');
    if (underscore == std::string::npos) {
        return {};
    }
    size_t dot = argumentText.rfind('.');
    size_t end = (dot != std::string::npos && dot > underscore) ? dot : argumentText.size();
    std::string id = argumentText.substr(underscore + 1, end - underscore - 1);
    size_t paren = id.find('(');
    if (paren != std::string::npos) {
        id.resize(paren);
    }
    // The id travels in a request header and in the comma-separated state
    // files.
    return context::paramDataField(id);
}

namespace {

// The per-user folder of "bdviddata" and "paramdata", made when missing;
// empty when there is no local application-data folder.
std::string stateFolder() {
    std::string folder = context::stateFolderPath();
    if (!folder.empty() && !platform::fileExists(folder)) {
        // A fresh account may lack the parents too, so create them all.
        platform::makeFolders(folder);
        platform::debugLog("该文件夹不存在，已自动创建");
    }
    return folder;
}

}  // namespace

std::string extractPromoteId(const std::string& argumentText) {
    std::string id = promotionIdFrom(argumentText);
    std::string folder = stateFolder();
    if (!folder.empty()) {
        platform::writeFileText(folder + platform::kPathSep + "bdviddata", id);
    }
    return id;
}

std::string skinFolderFor(const std::string& programFolder) {
    std::string beside = programFolder + "skin";
    if (platform::fileExists(beside + platform::kPathSep + "main.xml")) {
        return beside;
    }
    std::string installed = programFolder + "../share/hobnar-setup/skin";
    if (platform::fileExists(installed + platform::kPathSep + "main.xml")) {
        return installed;
    }
    return beside;
}

namespace {

// False when no window could be made; the message loop is then never entered.
bool runMainWindow() {
    DuiLib::CPaintManagerUI::SetInstance(nullptr);
    std::string programFolder = DuiLib::CPaintManagerUI::GetInstancePath().GetData();
    // A skin folder beside the program (a designer's, a customised build's)
    // wins; without one, a program downloaded alone has its own.
    DuiLib::CPaintManagerUI::SetResourcePath(skinFolderFor(programFolder).c_str());
    DuiLib::CPaintManagerUI::SetBuiltInResources(kBuiltInSkin, kBuiltInSkinCount);
    // The window deletes itself after its last message.
    auto* window = new ui::CFrameWindowWnd();
    if (!window->Create(nullptr, ui::kMainWindowTitle, ui::kMainWindowStyle, ui::kMainWindowExStyle,
                        DuiLib::CW_USEDEFAULT, DuiLib::CW_USEDEFAULT, DuiLib::CW_USEDEFAULT,
                        DuiLib::CW_USEDEFAULT, nullptr)) {
        // A window that failed its creation may already be gone; it is
        // never touched again.
        return false;
    }
    window->ShowWindow(true, true);
    window->CenterWindow();
    DuiLib::CPaintManagerUI::MessageLoop();
    return true;
}

}  // namespace

int runInstaller(const std::string& argumentText, const std::string& signingKey) {
    InstallerContext& context = InstallerContext::instance();
    context.signingKey = signingKey;
    if (context.launchInstalledIfPresent()) {
        return 0;
    }
    // Without a display the window would run unseen for ever; say so before
    // anything reaches the backend.
    if (DuiLib::IsNullBackend()) {
        platform::printErrorLine(
            "hobnar-setup: there is no display to show the installer on; --silent installs "
            "without one");
        return kExitNoDisplay;
    }
    int init = backend::initializeHttp();
    if (init != 0) {
        platform::debugLog("curl_global_init failed CURLcode: " + std::to_string(init));
        return 0;
    }
    std::string promoteId = extractPromoteId(argumentText);
    context.applyLaunchParameters(promoteId, argumentText);
    context.reportEvent(0, "pc_show_install");
    bool shown = runMainWindow();
    context.finishRequests(std::chrono::steady_clock::now() + kSendingTimeAtClose);
    if (!shown) {
        platform::printErrorLine(
            "hobnar-setup: the installer window could not be created; --silent installs "
            "without one");
        return kExitNoDisplay;
    }
    return 0;
}

}  // namespace app
