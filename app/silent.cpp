#include "app/silent.h"

#include <curl/curl.h>

#include <iostream>

#include "app/startup.h"
#include "context/installer_context.h"
#include "install/install.h"
#include "platform/platform.h"

namespace {

int fail(int status, const std::string& reason) {
    std::cerr << "hobnar-setup: " << reason << std::endl;
    return status;
}

// What a click on the start button fixes: the product folder below the
// install folder, created now.
bool prepareProductFolder(InstallerContext& context, const std::string& installFolder,
                          std::string& productFolder) {
    productFolder = productFolderFor(trimInstallFolder(installFolder));
    context.setInstallDir(productFolder);
    return platform::fileExists(productFolder) || createProductFolder(productFolder);
}

}  // namespace

int runSilentInstall(const std::string& argumentText, const std::string& folder) {
    InstallerContext& context = InstallerContext::instance();
    std::string installed = context.installedProductPath();
    if (!installed.empty()) {
        std::cout << "already installed: " << installed << std::endl;
        return kSilentInstalled;
    }
    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
        return fail(kSilentHttpInitFailed, "the HTTP library cannot be initialised");
    }
    context.applyLaunchParameters(extractPromoteId(argumentText), argumentText);
    context.reportEvent(0, "pc_show_install");
    // Only a successful install-information query fills the size text.
    if (context.packageSizeText.empty()) {
        return fail(kSilentNoBackend, "the backend at " + context.apiBaseUrl +
                                          " did not answer; nothing was installed");
    }
    std::string installFolder = folder.empty() ? platform::roamingAppDataDir() : folder;
    std::string productFolder;
    if (installFolder.empty() || !prepareProductFolder(context, installFolder, productFolder)) {
        return fail(kSilentFolderFailed,
                    "cannot create the product folder below \"" + installFolder + "\"");
    }
    context.reportEvent(1, "pc_click_install");
    context.reportEvent(1, "pc_Installing");
    std::cout << "installing " << context.packageUrl << " (" << context.packageSizeText << ") into "
              << productFolder << std::endl;

    ExtractResult extracted;
    bool completed = false;
    context.downloadDoneCallback = [&] {
        extracted = completeInstallation(context, productFolder, mainExecutableIn(productFolder));
        completed = true;
    };
    if (!downloadPackage(context) || !completed) {
        return fail(kSilentDownloadFailed,
                    "the package could not be downloaded from " + context.packageUrl);
    }
    if (!extracted.ok()) {
        return fail(kSilentExtractFailed, std::string("the package could not be unpacked (") +
                                              describeExtractStatus(extracted.status) + ")");
    }
    std::cout << "installed: " << productFolder << std::endl;
    return kSilentInstalled;
}
