// One install run, from the product folder to the success event: a chain of
// named steps, each ending the run with its outcome when it fails.
#include <iterator>
#include <system_error>
#include <thread>

#include "install/download.h"
#include "install/install.h"
#include "install/package_check.h"
#include "install/product_folder.h"
#include "install/registration.h"

namespace install {

struct InstallRun::Held {
    HeldFolders folders;
    DownloadedPackage archive;
};

InstallRun::InstallRun(InstallPlan plan, InstallBackend& backend,
                       std::unique_ptr<InstallObserver> observer)
    : m_plan(std::move(plan)),
      m_backend(backend),
      m_observer(std::move(observer)),
      m_held(std::make_unique<Held>()) {}

InstallRun::~InstallRun() {
    releaseFolders(m_held->folders, false);
}

InstallOutcome InstallRun::startInstall() {
    m_started = prepareFolder();
    return *m_started;
}

InstallOutcome InstallRun::run() {
    using Step = InstallOutcome (InstallRun::*)();
    static constexpr Step kSteps[] = {
        &InstallRun::awaitPackage,  &InstallRun::obtainArchive,   &InstallRun::checkPackage,
        &InstallRun::unpack,        &InstallRun::registerProduct, &InstallRun::linkOnDesktop,
        &InstallRun::reportSuccess,
    };
    InstallOutcome outcome = m_started ? *m_started : startInstall();
    for (auto step = std::begin(kSteps); outcome.ok() && step != std::end(kSteps); ++step) {
        if (std::chrono::steady_clock::now() >= m_plan.deadline) {
            outcome = {InstallFailure::TimedOut, 0, ""};
            break;
        }
        outcome = (this->*(*step))();
    }
    return report(outcome);
}

// The private folder and the product folder are made and checked, and the
// install folder locked against a second installation into it.
InstallOutcome InstallRun::prepareFolder() {
    releaseFolders(m_held->folders, false);
    return prepareFolders(m_plan.productFolder, m_held->folders);
}

// A run started before the install information arrived waits for it here.
InstallOutcome InstallRun::awaitPackage() {
    if (!m_plan.package.valid()) {
        return {InstallFailure::DownloadFailed, 0, "no package was named"};
    }
    if (!readyBy(m_plan.package, m_plan.deadline)) {
        return {InstallFailure::TimedOut, 0, "waiting for the install information"};
    }
    m_package = m_plan.package.get();
    if (m_package.digestMalformed) {
        return {InstallFailure::DigestMalformed, 0, ""};
    }
    return {};
}

// Reuse the whole archive a retry keeps, or continue or download it.  Only
// a package that will be checked may continue what an earlier run left: the
// check catches whatever happened to those bytes meanwhile.
InstallOutcome InstallRun::obtainArchive() {
    std::string archive = archivePathFor(m_plan.productFolder);
    if (m_plan.reuseWholeArchive && platform::fileExists(archive)) {
        platform::debugLog("unpacking the archive an earlier attempt downloaded");
        PackageHashes hashes(!m_package.sha256.empty(), !m_plan.publicKey.empty());
        if (hashFile(archive, hashes)) {
            m_held->archive = {hashes.sha256Hex(), hashes.prehash(), false};
            return {};
        }
        platform::debugLog("the archive cannot be read again; downloading it anew");
        return download(false);
    }
    return download(!m_package.sha256.empty() || !m_plan.publicKey.empty());
}

InstallOutcome InstallRun::download(bool resume) {
    platform::debugLog("downloading " + m_package.url + " into " + m_plan.productFolder);
    DownloadRequest request;
    request.url = m_package.url;
    request.archivePath = archivePathFor(m_plan.productFolder);
    request.timing = m_plan.timing;
    request.deadline = m_plan.deadline;
    request.sha256 = !m_package.sha256.empty();
    request.prehash = !m_plan.publicKey.empty();
    request.resume = resume;
    request.identity =
        m_package.url + "\n" + std::to_string(m_package.size) + "\n" + m_package.sha256 + "\n";
    request.expectedSize = m_package.size;
    request.onProgress = [this](int percent, double bytesPerSecond) {
        m_observer->onProgress(percent, bytesPerSecond);
    };
    DownloadResult result = downloadPackage(request);
    m_held->archive = result.package;
    if (!result.outcome.ok() && result.outcome.detail.empty()) {
        result.outcome.detail = m_package.url;
    }
    return result.outcome;
}

// The archive must be the announced one and carry our signature.  A
// continued archive that fails is fetched once more from nothing; whatever
// fails in the end is deleted.
InstallOutcome InstallRun::checkPackage() {
    InstallOutcome checked = verify();
    bool wrongBytes = checked.failure == InstallFailure::DigestMismatch ||
                      checked.failure == InstallFailure::SignatureInvalid ||
                      checked.failure == InstallFailure::SignatureOtherVersion;
    if (wrongBytes && m_held->archive.resumed) {
        platform::debugLog("the continued archive failed its check; downloading it again");
        InstallOutcome fetched = download(false);
        checked = fetched.ok() ? verify() : fetched;
    }
    if (checked.ok() || checked.failure == InstallFailure::TimedOut) {
        return checked;
    }
    if (std::chrono::steady_clock::now() >= m_plan.deadline) {
        // The signature did not come in time: the archive stays for the
        // next run, which checks it again.
        return {InstallFailure::TimedOut, 0, ""};
    }
    removeArchive(archivePathFor(m_plan.productFolder));
    return checked;
}

InstallOutcome InstallRun::verify() {
    const DownloadedPackage& archive = m_held->archive;
    if (m_package.sha256.empty()) {
        platform::debugLog("no digest was announced: the package is not checked against one");
    } else if (archive.sha256 != m_package.sha256) {
        return {InstallFailure::DigestMismatch, 0,
                "got " + archive.sha256 + ", announced " + m_package.sha256};
    } else {
        platform::debugLog("the package matches its digest " + m_package.sha256);
    }
    if (m_plan.publicKey.empty()) {
        return {};
    }
    std::string signatureUrl = m_package.url + ".minisig";
    SignatureCheck signature =
        verifyMinisign(m_plan.publicKey, m_backend.fetchText(signatureUrl, m_plan.deadline),
                       archive.prehash, m_plan.deliveredVersion);
    const InstallFailure kFailures[] = {
        InstallFailure::None, InstallFailure::SignatureMissing, InstallFailure::SignatureMalformed,
        InstallFailure::SignatureInvalid, InstallFailure::SignatureOtherVersion};
    InstallOutcome checked{kFailures[static_cast<int>(signature)], 0, signatureUrl};
    platform::debugLog(checked.ok() ? "the package's signature verifies" : failureReason(checked));
    return checked;
}

InstallOutcome InstallRun::unpack() {
    std::string archive = archivePathFor(m_plan.productFolder);
    InstallOutcome unpacked =
        unpackIntoProductFolder(archive, m_held->folders, [this](const std::string& name) {
            m_observer->onEntryUnpacked(name);
            return std::chrono::steady_clock::now() < m_plan.deadline;
        });
    // The archive (and its record) is of no more use once unpacked or found
    // unfit; it stays only for a retry once the UnRAR library is there, or
    // for the next run after the deadline.
    if (unpacked.failure != InstallFailure::UnrarMissing &&
        unpacked.failure != InstallFailure::TimedOut) {
        removeArchive(archive);
    }
    return unpacked;
}

InstallOutcome InstallRun::registerProduct() {
    if (!writeUninstallEntries(m_plan.productFolder, m_package.version, m_plan.registryKey)) {
        return {InstallFailure::RegistrationFailed, 0, platform::registryStorePath()};
    }
    return {};
}

InstallOutcome InstallRun::linkOnDesktop() {
    ShortcutLinks links = shortcutLinkPaths();
    if (!createShortcut(mainExecutableIn(m_plan.productFolder), links.userLink, links.commonLink)) {
        platform::debugLog("no desktop shortcut could be made");
    }
    return {};
}

InstallOutcome InstallRun::reportSuccess() {
    m_backend.reportEvent(1, "pc_install_success");
    return {};
}

InstallOutcome InstallRun::report(const InstallOutcome& outcome) {
    // The folder is free again before anyone hears of the end, so a retry
    // started at once finds it unlocked.
    releaseFolders(m_held->folders, !outcome.ok());
    if (outcome.ok()) {
        m_observer->onFinished();
    } else {
        platform::debugLog("installation failed: " + failureReason(outcome));
        m_observer->onFailed(outcome);
    }
    return outcome;
}

bool InstallRun::startDetached(std::unique_ptr<InstallRun> run) {
    std::shared_ptr<InstallRun> shared(std::move(run));
    try {
        // Nobody joins the thread: the process may end with it still running.
        std::thread([shared] { shared->run(); }).detach();
        return true;
    } catch (const std::system_error&) {
        shared->report({InstallFailure::DownloadFailed, 0, "no thread for the download"});
        return false;
    }
}

}  // namespace install
