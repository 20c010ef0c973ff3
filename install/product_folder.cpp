#include "install/product_folder.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "install/install.h"
#include "platform/platform.h"

namespace install {
namespace {

namespace fs = std::filesystem;

// The UnRAR library keeps names in buffers of 2048 wide characters; a folder
// must leave room for the entry names below it, or the archive's own name is
// cut short and reads as no archive at all.
constexpr size_t kUnrarNameLimit = 2048;
constexpr size_t kRoomForEntryNames = 320;

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
        case ExtractStatus::Stopped:
            return InstallFailure::TimedOut;
    }
    return InstallFailure::DamagedPackage;
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
            failureOfIo(platform::moveReplacing(it->path().u8string(), target.u8string()));
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
    InstallFailure failure = failureOfIo(platform::moveReplacing(staging, product));
    return {failure, 0, failure == InstallFailure::None ? std::string() : product};
}

// Named after the product folder, so that a sweep of a folder the user chose
// (a home folder, a drive's root) never takes what another program keeps there.
std::string unpackingPrefix() {
    return std::string(".") + kProductFolderName + ".unpacking-";
}

}  // namespace

std::string parentFolderOf(const std::string& path) {
    // Windows takes "/" as a separator too.
    size_t last = path.find_last_of(std::string("/") + platform::kPathSep);
    return last == std::string::npos ? std::string(".") : path.substr(0, last);
}

InstallOutcome makeProductFolder(const std::string& productFolder) {
    if (productFolder.empty()) {
        return {InstallFailure::FolderFailed, 0, productFolder};
    }
    if (platform::toWide(productFolder).size() + kRoomForEntryNames >= kUnrarNameLimit) {
        return {InstallFailure::FolderTooLong, 0, ""};
    }
    std::error_code error;
    fs::create_directories(fs::u8path(productFolder), error);
    if (!fs::is_directory(fs::u8path(productFolder), error)) {
        return {InstallFailure::FolderFailed, 0, productFolder};
    }
    return {};
}

void removeLeftUnpackingFolders(const std::string& productFolder) {
    std::error_code error;
    std::vector<fs::path> left;
    for (fs::directory_iterator it(fs::u8path(parentFolderOf(productFolder)), error), end;
         !error && it != end; it.increment(error)) {
        if (it->path().filename().u8string().rfind(unpackingPrefix(), 0) == 0) {
            left.push_back(it->path());
        }
    }
    for (const fs::path& path : left) {
        fs::remove_all(path, error);
    }
}

InstallOutcome unpackIntoProductFolder(const std::string& archivePath,
                                       const std::string& productFolder,
                                       const EntryCallback& onEntry) {
    std::string staging =
        platform::makeFreshFolder(parentFolderOf(productFolder), unpackingPrefix());
    if (staging.empty()) {
        return {InstallFailure::NotWritable, 0, parentFolderOf(productFolder)};
    }
    ExtractResult extracted = extractArchive(archivePath, staging, onEntry);
    InstallOutcome outcome{failureOfExtraction(extracted.status), 0, extracted.failedEntry};
    std::error_code error;
    if (outcome.ok() && !fs::is_regular_file(fs::u8path(mainExecutableIn(staging)), error)) {
        outcome = {InstallFailure::MainProgramMissing, 0, ""};
    }
    if (outcome.ok()) {
        platform::debugLog("unpacked " + std::to_string(extracted.entriesWritten) + " entries");
        outcome = moveIntoProductFolder(staging, productFolder);
    }
    fs::remove_all(fs::u8path(staging), error);
    return outcome;
}

}  // namespace install
