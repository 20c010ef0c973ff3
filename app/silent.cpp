#include "app/silent.h"

#include <iostream>
#include <utility>

#include "app/startup.h"
#include "backend/backend.h"
#include "context/installer_context.h"
#include "platform/platform.h"

namespace {

int fail(int status, const std::string& reason) {
    std::cerr << "hobnar-setup: " << reason << std::endl;
    platform::debugLog(reason);
    return status;
}

// The run's news on the console: the download prints its own progress
// lines; the end goes to standard output, a failure to standard error.
class ConsoleObserver : public InstallObserver {
  public:
    explicit ConsoleObserver(std::string productFolder) : m_productFolder(productFolder) {}
    void onProgress(int, double) override {}
    void onFinished() override {
        std::cout << "installed: " << platform::singleLine(m_productFolder) << std::endl;
    }
    void onFailed(const InstallOutcome& outcome) override {
        std::cerr << "hobnar-setup: " << failureReason(outcome) << std::endl;
    }
    // The run itself logs its steps and its end.

  private:
    std::string m_productFolder;
};

}  // namespace

int exitStatusFor(const InstallOutcome& outcome) {
    static const std::pair<InstallFailure, int> kStatuses[] = {
        {InstallFailure::None, kExitInstalled},
        {InstallFailure::FolderFailed, kExitFolderFailed},
        {InstallFailure::FolderTooLong, kExitFolderTooLong},
        {InstallFailure::AnotherInstallRunning, kExitInstallRunning},
        {InstallFailure::DownloadFailed, kExitDownloadFailed},
        {InstallFailure::PackageUnavailable, kExitDownloadFailed},
        {InstallFailure::AddressRefused, kExitAddressRefused},
        {InstallFailure::DiskFull, kExitDiskFull},
        {InstallFailure::NotWritable, kExitNotWritable},
        {InstallFailure::ProductBusy, kExitNotWritable},
        {InstallFailure::UnrarMissing, kExitUnrarMissing},
        {InstallFailure::RegistrationFailed, kExitNotRegistered},
        {InstallFailure::DigestMismatch, kExitDigestMismatch},
        {InstallFailure::SignatureMissing, kExitBadSignature},
        {InstallFailure::SignatureMalformed, kExitBadSignature},
        {InstallFailure::SignatureInvalid, kExitBadSignature},
    };
    for (const auto& [failure, status] : kStatuses) {
        if (failure == outcome.failure) {
            return status;
        }
    }
    // What is left is the package itself: no archive, damaged, encrypted,
    // unsafe or without the main program.
    return kExitUnpackFailed;
}

int runSilentInstall(const std::string& argumentText, const std::string& folder) {
    InstallerContext& context = InstallerContext::instance();
    std::string installed = context.installedProductPath();
    if (!installed.empty()) {
        std::cout << "already installed: " << platform::singleLine(installed) << std::endl;
        return kExitInstalled;
    }
    if (backend::initializeHttp() != 0) {
        return fail(kExitHttpInitFailed, "the HTTP library cannot be initialised");
    }
    context.applyLaunchParameters(extractPromoteId(argumentText), argumentText);
    platform::debugLog("unattended installation; backend " + context.apiBaseUrl);
    context.reportEvent(0, "pc_show_install");
    // Only a successful install-information query fills the size text.
    if (context.packageSizeText.empty()) {
        return fail(kExitNoBackend, "the backend at " + context.apiBaseUrl +
                                        " did not answer; nothing was installed");
    }
    std::string installFolder = folder.empty() ? platform::roamingAppDataDir() : folder;
    InstallPlan plan = planFor(context, installFolder.empty()
                                            ? std::string()
                                            : productFolderFor(trimInstallFolder(installFolder)));
    InstallRun run(context, plan, std::make_unique<ConsoleObserver>(plan.productFolder));
    run.startInstall();
    context.reportEvent(1, "pc_click_install");
    context.reportEvent(1, "pc_Installing");
    std::cout << "installing " << platform::singleLine(context.packageUrl) << " ("
              << context.packageSizeText << ") into " << platform::singleLine(plan.productFolder)
              << std::endl;
    return exitStatusFor(run.run());
}
