// Start-up decisions: which servers this run talks to, what it records about
// its launch, and whether the product is already installed.
#include <system_error>

#include "backend/version.h"
#include "context/endpoints.h"
#include "context/installer_context.h"
#include "platform/platform.h"

namespace context {

using platform::readRegistryString;
using platform::writeRegistryString;

LaunchServers LaunchServers::compiledIn() {
    return {{endpoints::kProductionApiBaseUrl, endpoints::kProductionPackageUrl},
            {endpoints::kTestApiBaseUrl, endpoints::kTestPackageUrl}};
}

void InstallerContext::applyLaunchParameters(std::string promotionId, std::string argumentText) {
    applyLaunchParameters(std::move(promotionId), std::move(argumentText),
                          LaunchServers::compiledIn());
}

void InstallerContext::applyLaunchParameters(std::string promotionId, std::string argumentText,
                                             const LaunchServers& servers) {
    if (!promotionId.empty()) {
        promoteId = promotionId;
    }
    writeRegistryString(registryKeyPath, "promoteId", promoteId);

    devMode = argumentText.find("dev") != std::string::npos;
    writeRegistryString(registryKeyPath, "devMode", devMode ? "1" : "0");
    const ServerEndpoints& chosen = devMode ? servers.test : servers.production;
    apiBaseUrl = chosen.apiBaseUrl;
    packageUrl = chosen.packageUrl;
    queueLaunchQueries();
}

std::string InstallerContext::installedProductPath() {
    std::string path = readRegistryString(registryKeyPath, "DisplayPath");
    if (path.empty() || installedVersion != backend::kDeliveredVersion) {
        return {};
    }
    // Only a program file counts: a folder of that name opens as a stream on
    // some systems, but nothing can be started from it.
    platform::FileHandle program = platform::openFileForReading(path);
    bool found = program.isOpen();
    platform::closeFile(program);
    if (!found) {
        return {};
    }
    return path;
}

bool InstallerContext::launchInstalledIfPresent() {
    std::string path = installedProductPath();
    if (path.empty()) {
        return false;
    }
    // The product starts from an argument vector; the logged line keeps the
    // command text operators know from the Windows build.
    platform::launchFile(path);
    platform::debugLog("explorer \"" + path + "\"");
    return true;
}

}  // namespace context
