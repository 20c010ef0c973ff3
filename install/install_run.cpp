// One install run, from the product folder to the success event, and the
// words a failure is told in.
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "install/download.h"
#include "install/extract.h"
#include "install/install.h"
#include "install/package_check.h"
#include "install/shortcut.h"

namespace {

struct FailureText {
    InstallFailure failure;
    const char* reason;    // English, for the unattended mode and the log
    const char* pageText;  // the window's failure page
};

const FailureText kFailureTexts[] = {
    {InstallFailure::None, "installed", ""},
    {InstallFailure::FolderFailed, "cannot create the product folder",
     "无法创建安装目录，请选择其他位置后重试。"},
    {InstallFailure::FolderTooLong, "the install folder's name is too long",
     "安装目录的路径太长，请选择较短的路径。"},
    {InstallFailure::AnotherInstallRunning, "another installation into this folder is running",
     "另一个安装程序正在向此目录安装，请等待其完成后重试。"},
    {InstallFailure::DownloadFailed, "the package could not be downloaded",
     "安装包下载失败，请检查网络连接后重试。"},
    {InstallFailure::PackageUnavailable, "the package address answered HTTP",
     "安装包下载失败，服务器拒绝了请求，状态码 HTTP"},
    {InstallFailure::AddressRefused, "the package address is not a usable http(s) address",
     "安装包地址无效，无法下载。"},
    {InstallFailure::DiskFull, "the disk is full",
     "磁盘空间不足，请清理磁盘或选择其他位置后重试。"},
    {InstallFailure::NotWritable, "cannot write into the install folder",
     "无法写入安装目录，请检查权限或选择其他位置。"},
    {InstallFailure::ProductBusy, "a product file is in use; close hobnarAudio and try again",
     "程序正在运行，请先关闭 hobnar 语音文字转换器后重试。"},
    {InstallFailure::UnrarMissing,
     "the package cannot be unpacked: the UnRAR library is not available",
     "缺少解压组件（UnRAR 库），无法解压安装包。安装该组件后可重试，无需重新下载。"},
    {InstallFailure::NotAnArchive, "the package could not be unpacked (not a RAR archive)",
     "安装包已损坏，解压失败，请重试。"},
    {InstallFailure::DamagedPackage, "the package could not be unpacked (a damaged entry)",
     "安装包已损坏，解压失败，请重试。"},
    {InstallFailure::EncryptedPackage, "the package could not be unpacked (it is encrypted)",
     "安装包已加密，无法解压。"},
    {InstallFailure::UnsafePackage,
     "the package could not be unpacked (an entry outside the product folder)",
     "安装包内容异常（含有指向安装目录之外的文件），已停止安装。"},
    {InstallFailure::MainProgramMissing, "the package holds no hobnarAudio.exe",
     "安装包不完整（缺少主程序），已停止安装。"},
    {InstallFailure::RegistrationFailed, "the product could not be registered",
     "无法写入注册信息，安装未完成，请以管理员身份重试。"},
    {InstallFailure::DigestMismatch,
     "the downloaded package does not match its announced SHA-256 digest",
     "安装包校验失败（与公布的 SHA-256 摘要不符），已删除，请重试。"},
    {InstallFailure::SignatureMissing, "the package's signature could not be fetched",
     "无法获取安装包的签名，无法确认其来源，已停止安装。"},
    {InstallFailure::SignatureMalformed, "the package's signature cannot be read",
     "安装包的签名无法识别，已停止安装。"},
    {InstallFailure::SignatureInvalid, "the package's signature does not verify: it was altered",
     "安装包签名校验失败（文件可能被篡改），已删除，未安装任何内容。"},
};

const FailureText& textOf(InstallFailure failure) {
    for (const FailureText& text : kFailureTexts) {
        if (text.failure == failure) {
            return text;
        }
    }
    return kFailureTexts[0];
}

InstallFailure failureOfExtraction(ExtractStatus status) {
    switch (status) {
        case ExtractStatus::Ok:
            return InstallFailure::None;
        case ExtractStatus::LibraryMissing:
            return InstallFailure::UnrarMissing;
        case ExtractStatus::NotAnArchive:
            return InstallFailure::NotAnArchive;
        case ExtractStatus::DamagedEntry:
            return InstallFailure::DamagedPackage;
        case ExtractStatus::UnsafeEntry:
            return InstallFailure::UnsafePackage;
        case ExtractStatus::Encrypted:
            return InstallFailure::EncryptedPackage;
        case ExtractStatus::DiskFull:
            return InstallFailure::DiskFull;
        case ExtractStatus::NotWritable:
            return InstallFailure::NotWritable;
    }
    return InstallFailure::DamagedPackage;
}

namespace fs = std::filesystem;

// The UnRAR library keeps names in buffers of 2048 wide characters; a folder
// must leave room for the entry names below it, or the archive's own name is
// cut short and reads as no archive at all.
constexpr size_t kUnrarNameLimit = 2048;
constexpr size_t kRoomForEntryNames = 320;

InstallFailure failureOfMove(platform::IoError error) {
    switch (error) {
        case platform::IoError::None:
            return InstallFailure::None;
        case platform::IoError::DiskFull:
            return InstallFailure::DiskFull;
        case platform::IoError::Busy:
            return InstallFailure::ProductBusy;
        default:
            return InstallFailure::NotWritable;
    }
}

bool isRealFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(fs::symlink_status(path, error));
}

// Whatever stands at `path` that is not a real folder (a file, a link) goes,
// so a move can put the package's entry there; a folder in the way of a
// file goes too.
void clearWay(const fs::path& path, bool forFolder) {
    std::error_code error;
    fs::file_status status = fs::symlink_status(path, error);
    if (!fs::exists(status)) {
        return;
    }
    if (fs::is_directory(status)) {
        if (!forFolder) {
            fs::remove_all(path, error);
        }
        return;
    }
    fs::remove(path, error);
}

// Moves every entry of `from` into `to` by rename: files and links replace
// what stands under their name (never writing through a link), folders are
// merged, and entries of `to` that `from` lacks stay.
InstallOutcome mergeFolder(const fs::path& from, const fs::path& to) {
    std::error_code error;
    for (fs::directory_iterator it(from, error), end; !error && it != end; it.increment(error)) {
        fs::path target = to / it->path().filename();
        bool folder = isRealFolder(it->path());
        if (folder && isRealFolder(target)) {
            InstallOutcome merged = mergeFolder(it->path(), target);
            if (!merged.ok()) {
                return merged;
            }
            continue;
        }
        clearWay(target, folder);
        InstallFailure failure =
            failureOfMove(platform::moveReplacing(it->path().u8string(), target.u8string()));
        if (failure != InstallFailure::None) {
            return {failure, 0, target.u8string()};
        }
    }
    if (error) {
        return {InstallFailure::NotWritable, 0, from.u8string()};
    }
    return {};
}

InstallOutcome moveIntoProductFolder(const std::string& staging, const std::string& product) {
    fs::path to = fs::u8path(product);
    if (isRealFolder(to)) {
        return mergeFolder(fs::u8path(staging), to);
    }
    clearWay(to, true);
    InstallFailure failure = failureOfMove(platform::moveReplacing(staging, product));
    return {failure, 0, failure == InstallFailure::None ? std::string() : product};
}

// Named after the product folder, so that a sweep of a folder the user chose
// (a home folder, a drive's root) never takes what another program keeps there.
std::string unpackingPrefix() {
    return std::string(".") + kProductFolderName + ".unpacking-";
}

// What a run that was killed while unpacking left beside the product folder.
// Only a run holding the folder's lock calls this, so no other run is
// unpacking there.
void removeLeftUnpackingFolders(const std::string& installFolder) {
    std::error_code error;
    std::vector<fs::path> left;
    for (fs::directory_iterator it(fs::u8path(installFolder), error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().filename().u8string().rfind(unpackingPrefix(), 0) == 0) {
            left.push_back(it->path());
        }
    }
    for (const fs::path& path : left) {
        fs::remove_all(path, error);
    }
}

std::string parentFolderOf(const std::string& path) {
    // Windows takes "/" as a separator too.
    size_t last = path.find_last_of(std::string("/") + platform::kPathSep);
    return last == std::string::npos ? std::string(".") : path.substr(0, last);
}

}  // namespace

std::string failureReason(const InstallOutcome& outcome) {
    std::string reason = textOf(outcome.failure).reason;
    if (outcome.failure == InstallFailure::PackageUnavailable) {
        reason += " " + std::to_string(outcome.httpStatus);
    }
    // Addresses and paths come from outside: they must not break the line.
    return outcome.detail.empty() ? reason : reason + ": " + platform::singleLine(outcome.detail);
}

std::string failurePageText(const InstallOutcome& outcome) {
    std::string text = textOf(outcome.failure).pageText;
    if (outcome.failure == InstallFailure::PackageUnavailable) {
        text += " " + std::to_string(outcome.httpStatus) + "。";
    }
    return text;
}

namespace {

std::string& signingKey() {
    static std::string key;
    return key;
}

}  // namespace

void usePackageSigningKey(const std::string& publicKey) {
    signingKey() = publicKey;
}

InstallPlan planFor(const InstallerContext& context, const std::string& productFolder) {
    InstallPlan plan;
    plan.productFolder = productFolder;
    plan.packageUrl = context.packageUrl;
    plan.packageSize = context.packageSizeBytes;
    plan.sha256 = context.packageSha256;
    plan.publicKey = signingKey();
    return plan;
}

InstallRun::InstallRun(InstallerContext& context, InstallPlan plan,
                       std::unique_ptr<InstallObserver> observer)
    : m_context(context), m_plan(std::move(plan)), m_observer(std::move(observer)) {}

InstallRun::~InstallRun() {
    platform::closeFile(m_lock);
}

InstallOutcome InstallRun::startInstall() {
    m_started = prepareFolder();
    return *m_started;
}

InstallOutcome InstallRun::prepareFolder() {
    const std::string& folder = m_plan.productFolder;
    if (folder.empty()) {
        return {InstallFailure::FolderFailed, 0, folder};
    }
    if (platform::toWide(folder).size() + kRoomForEntryNames >= kUnrarNameLimit) {
        return {InstallFailure::FolderTooLong, 0, ""};
    }
    // Created exactly as named: no shell ever sees the folder's name.
    std::error_code error;
    fs::create_directories(fs::u8path(folder), error);
    if (!fs::is_directory(fs::u8path(folder), error)) {
        return {InstallFailure::FolderFailed, 0, folder};
    }
    bool busy = false;
    platform::closeFile(m_lock);
    m_lock = platform::lockFile(folder + ".lock", busy);
    if (!m_lock.isOpen()) {
        return {busy ? InstallFailure::AnotherInstallRunning : InstallFailure::NotWritable, 0,
                parentFolderOf(folder)};
    }
    removeLeftUnpackingFolders(parentFolderOf(folder));
    return {};
}

InstallOutcome InstallRun::run() {
    InstallOutcome outcome = m_started ? *m_started : startInstall();
    if (!outcome.ok()) {
        return report(outcome);
    }
    return report(downloadArchive());
}

InstallOutcome InstallRun::downloadArchive() {
    if (m_plan.reuseWholeArchive && platform::fileExists(archivePathFor(m_plan.productFolder))) {
        return reuseArchive();
    }
    // Only a package that will be checked may continue what an earlier run
    // left: the check catches whatever happened to those bytes meanwhile.
    bool checkable = !m_plan.sha256.empty() || !m_plan.publicKey.empty();
    InstallOutcome outcome = download(checkable);
    bool checkFailed = outcome.failure == InstallFailure::DigestMismatch ||
                       outcome.failure == InstallFailure::SignatureInvalid;
    if (m_resumed && checkFailed) {
        platform::debugLog("the continued archive failed its check; downloading it again");
        outcome = download(false);
    }
    return outcome;
}

// The archive was checked when it arrived, but it has lain in a folder others
// may write to since: it is checked again before it is unpacked.
InstallOutcome InstallRun::reuseArchive() {
    platform::debugLog("unpacking the archive an earlier attempt downloaded");
    PackageHashes hashes(!m_plan.sha256.empty(), !m_plan.publicKey.empty());
    DownloadedPackage whole;
    if (!hashFile(archivePathFor(m_plan.productFolder), hashes)) {
        platform::debugLog("the archive cannot be read again; downloading it anew");
        forgetArchive();
        return download(false);
    }
    whole.sha256 = hashes.sha256Hex();
    whole.prehash = hashes.prehash();
    InstallOutcome checked = checkPackage(whole);
    return checked.ok() ? finishInstall() : checked;
}

InstallOutcome InstallRun::download(bool resume) {
    platform::debugLog("downloading " + m_plan.packageUrl + " into " + m_plan.productFolder);
    InstallOutcome finished;
    DownloadedPackage downloaded;
    DownloadRequest request;
    request.url = m_plan.packageUrl;
    request.archivePath = archivePathFor(m_plan.productFolder);
    request.timing = m_plan.timing;
    request.sha256 = !m_plan.sha256.empty();
    request.prehash = !m_plan.publicKey.empty();
    request.resume = resume;
    request.identity =
        m_plan.packageUrl + "\n" + std::to_string(m_plan.packageSize) + "\n" + m_plan.sha256 + "\n";
    request.expectedSize = m_plan.packageSize;
    request.progressCallback = [this](int percent, double bytesPerSecond) {
        m_observer->onProgress(percent, bytesPerSecond);
    };
    request.downloadDoneCallback = [this, &finished, &downloaded] {
        finished = checkPackage(downloaded);
        if (finished.ok()) {
            finished = finishInstall();
        }
    };
    InstallOutcome outcome = downloadPackage(request, &downloaded);
    m_resumed = downloaded.resumed;
    if (!outcome.ok() && outcome.detail.empty()) {
        outcome.detail = m_plan.packageUrl;
    }
    return outcome.ok() ? finished : outcome;
}

InstallOutcome InstallRun::checkPackage(const DownloadedPackage& downloaded) {
    InstallOutcome checked;
    if (m_plan.sha256.empty()) {
        platform::debugLog("no digest was announced: the package is not checked against one");
    } else if (downloaded.sha256 != m_plan.sha256) {
        checked = {InstallFailure::DigestMismatch, 0,
                   "got " + downloaded.sha256 + ", announced " + m_plan.sha256};
    } else {
        platform::debugLog("the package matches its digest " + m_plan.sha256);
    }
    if (checked.ok() && !m_plan.publicKey.empty()) {
        std::string signatureUrl = m_plan.packageUrl + ".minisig";
        SignatureCheck signature =
            verifyMinisign(m_plan.publicKey, m_context.httpGet(signatureUrl), downloaded.prehash);
        const InstallFailure kFailures[] = {InstallFailure::None, InstallFailure::SignatureMissing,
                                            InstallFailure::SignatureMalformed,
                                            InstallFailure::SignatureInvalid};
        checked = {kFailures[static_cast<int>(signature)], 0, signatureUrl};
        platform::debugLog(checked.ok() ? "the package's signature verifies"
                                        : failureReason(checked));
    }
    if (!checked.ok()) {
        forgetArchive();
    }
    return checked;
}

void InstallRun::forgetArchive() {
    std::string archive = archivePathFor(m_plan.productFolder);
    platform::removeFile(archive);
    platform::removeFile(downloadRecordPath(archive));
}

InstallOutcome InstallRun::report(const InstallOutcome& outcome) {
    // The folder is free again before anyone hears of the end, so a retry
    // started at once finds it unlocked.
    platform::closeFile(m_lock);
    if (outcome.ok()) {
        m_observer->onFinished();
    } else {
        platform::debugLog("installation failed: " + failureReason(outcome));
        m_observer->onFailed(outcome);
    }
    return outcome;
}

InstallOutcome InstallRun::extractPackage() {
    const std::string& product = m_plan.productFolder;
    std::string staging = platform::makeFreshFolder(parentFolderOf(product), unpackingPrefix());
    if (staging.empty()) {
        return {InstallFailure::NotWritable, 0, parentFolderOf(product)};
    }
    ExtractResult extracted = extractArchive(archivePathFor(product), staging, std::cout);
    InstallOutcome outcome{failureOfExtraction(extracted.status), 0, extracted.failedEntry};
    std::error_code error;
    if (outcome.ok() && !fs::is_regular_file(fs::u8path(mainExecutableIn(staging)), error)) {
        outcome = {InstallFailure::MainProgramMissing, 0, ""};
    }
    if (outcome.ok()) {
        platform::debugLog("unpacked " + std::to_string(extracted.entriesWritten) + " entries");
        outcome = moveIntoProductFolder(staging, product);
    }
    fs::remove_all(fs::u8path(staging), error);
    return outcome;
}

InstallOutcome InstallRun::finishInstall() {
    InstallOutcome extracted = extractPackage();
    if (!extracted.ok()) {
        // A product that did not unpack is neither registered nor linked,
        // and no success is reported.
        return extracted;
    }
    platform::removeFile(downloadRecordPath(archivePathFor(m_plan.productFolder)));
    if (!writeUninstallEntries(m_context, m_plan.productFolder)) {
        return {InstallFailure::RegistrationFailed, 0, platform::registryStorePath()};
    }
    ShortcutLinks links = shortcutLinkPaths();
    createShortcut(mainExecutableIn(m_plan.productFolder), links.userLink, links.commonLink);
    m_context.reportEvent(1, "pc_install_success");
    return {};
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
