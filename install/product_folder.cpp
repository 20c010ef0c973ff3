#include "install/product_folder.h"

#include <system_error>

#include "install/install.h"
#include "platform/platform.h"

namespace install {
namespace {

using platform::Entry;
using platform::EntryType;
using platform::FolderHandle;

const char* const kUnpackingFolder = "unpacking";

// Where the unpacked package reaches the product folder's volume.
std::string incomingFolderName() {
    return std::string(".") + kProductFolderName + ".unpacking-incoming";
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
        case ExtractStatus::Stopped:
            return InstallFailure::TimedOut;
    }
    return InstallFailure::DamagedPackage;
}

InstallOutcome foreign(const std::string& path, const Entry& entry) {
    std::string why = entry.type == EntryType::Link ? "is a link"
                      : !entry.ours                 ? "belongs to " + entry.owner
                                                    : "may be changed by other users";
    return {InstallFailure::ForeignFile, 0, path + " " + why};
}

// A folder we may work in: ours, or the system's for a folder we only put
// our own entries into, and changed by nobody else.
bool trusted(const Entry& entry, bool systemWillDo) {
    return entry.type == EntryType::Folder && !entry.othersMayChange &&
           (entry.ours || (systemWillDo && entry.systemOwned));
}

// `name` of `parent` as a folder of ours, made when missing.  A file or a
// link of ours there is set aside (a link goes itself, never its target);
// anything of another user's is refused.
InstallOutcome openOurFolder(const FolderHandle& parent, const std::string& name, bool privateToUs,
                             FolderHandle& folder, bool* made = nullptr) {
    Entry there = platform::entryIn(parent, name);
    if (there.ours && there.type != EntryType::Folder && there.type != EntryType::Missing) {
        platform::removeEntry(parent, name);
        there = platform::entryIn(parent, name);
    }
    bool missing = there.type == EntryType::Missing;
    folder = platform::openSubFolder(parent, name, true, privateToUs);
    Entry entry = folder.isOpen() ? platform::entryOf(folder) : platform::entryIn(parent, name);
    if (!folder.isOpen() || !entry.ours) {
        platform::closeFolder(folder);
        return entry.type == EntryType::Missing
                   ? InstallOutcome{InstallFailure::FolderFailed, 0, parent.path + "/" + name}
                   : foreign(parent.path + "/" + name, entry);
    }
    if (entry.othersMayChange) {
        platform::tidyPermissions(parent, name);
    }
    if (made) {
        *made = missing;
    }
    return {};
}

// The folder at `path`, its missing parts made, reached one folder at a time
// from the root without following a link (a link on the way is refused, it
// is not made through); and nobody but us and the system may change it or a
// folder above it, or what is registered by its path could be redirected.
InstallOutcome openFolderPath(const std::string& path, FolderHandle& folder) {
    platform::PathParts parts = platform::pathParts(path);
    folder = platform::openFolder(parts.root);
    for (const std::string& name : parts.names) {
        if (!folder.isOpen()) {
            continue;
        }
        Entry there = platform::entryIn(folder, name);
        FolderHandle next = there.type == EntryType::Link
                                ? FolderHandle()
                                : platform::openSubFolder(folder, name, true, false);
        platform::closeFolder(folder);
        folder = next;
        if (!folder.isOpen()) {
            return there.type == EntryType::Link
                       ? foreign(path, there)
                       : InstallOutcome{InstallFailure::FolderFailed, 0, path};
        }
    }
    if (!folder.isOpen()) {
        return {InstallFailure::FolderFailed, 0, path};
    }
    folder.path = path;
    if (!platform::isPrivatePath(path)) {
        Entry entry = platform::entryOf(folder);
        platform::closeFolder(folder);
        entry.othersMayChange = true;  // it, or a folder above it
        return foreign(path, entry);
    }
    return {};
}

// <local application data>/hobnarAudio/downloads/<key>: every folder on the
// way changed by nobody but us and the system.
InstallOutcome preparePrivateFolder(const std::string& productFolder) {
    std::string path = privateFolderFor(productFolder);
    std::string base = parentFolderOf(parentFolderOf(parentFolderOf(path)));
    FolderHandle local, state, downloads, ours;
    InstallOutcome outcome = path.empty() ? InstallOutcome{InstallFailure::NotWritable, 0,
                                                           "no private folder for the download"}
                                          : openFolderPath(base, local);
    if (outcome.ok()) {
        outcome = openOurFolder(local, "hobnarAudio", false, state);
    }
    if (outcome.ok()) {
        outcome = openOurFolder(state, "downloads", true, downloads);
    }
    if (outcome.ok()) {
        outcome = openOurFolder(downloads, path.substr(path.find_last_of("/\\") + 1), true, ours);
    }
    for (FolderHandle* folder : {&local, &state, &downloads, &ours}) {
        platform::closeFolder(*folder);
    }
    return outcome;
}

InstallOutcome mergeFolder(const FolderHandle& from, const FolderHandle& to);

// Moves one entry of the unpacked package into place (both on one volume).
InstallOutcome moveIntoPlace(const FolderHandle& from, const std::string& name,
                             const FolderHandle& to) {
    Entry source = platform::entryIn(from, name);
    Entry target = platform::entryIn(to, name);
    if (target.type != EntryType::Missing && !target.ours) {
        return foreign(to.path + "/" + name, target);
    }
    if (source.type == EntryType::Folder && target.type == EntryType::Folder) {
        FolderHandle inner = platform::openSubFolder(from, name, false, false);
        FolderHandle outer;
        InstallOutcome opened = openOurFolder(to, name, false, outer);
        InstallOutcome merged = opened.ok() ? mergeFolder(inner, outer) : opened;
        platform::closeFolder(inner);
        platform::closeFolder(outer);
        return merged;
    }
    // A folder in the way of a file, or anything in the way of a folder, goes.
    if (target.type != EntryType::Missing &&
        (target.type == EntryType::Folder || source.type == EntryType::Folder)) {
        platform::removeEntry(to, name);
    }
    InstallFailure failure = failureOfIo(platform::moveEntry(from, name, to, name));
    return {failure, 0, failure == InstallFailure::None ? std::string() : to.path + "/" + name};
}

// Every entry of `from` into `to`: files and links replace what stands under
// their name (never writing through a link), folders are merged, and
// entries of `to` that `from` lacks stay.
InstallOutcome mergeFolder(const FolderHandle& from, const FolderHandle& to) {
    for (const std::string& name : platform::entriesOf(from)) {
        InstallOutcome moved = moveIntoPlace(from, name, to);
        if (!moved.ok()) {
            return moved;
        }
    }
    return {};
}

// A copy of every entry of `from` in `to` (a fresh folder of ours).
InstallOutcome copyTree(const FolderHandle& from, const FolderHandle& to) {
    for (const std::string& name : platform::entriesOf(from)) {
        InstallOutcome copied;
        if (platform::entryIn(from, name).type == EntryType::Folder) {
            FolderHandle inner = platform::openSubFolder(from, name, false, false);
            FolderHandle outer;
            copied = openOurFolder(to, name, false, outer);
            copied = copied.ok() ? copyTree(inner, outer) : copied;
            platform::closeFolder(inner);
            platform::closeFolder(outer);
        } else {
            InstallFailure failure = failureOfIo(platform::copyFile(from, name, to, name));
            copied = {failure, 0, failure == InstallFailure::None ? "" : to.path + "/" + name};
        }
        if (!copied.ok()) {
            return copied;
        }
    }
    return {};
}

// The unpacked package brought beside the product folder, onto its volume,
// into a fresh folder of ours: renamed there whole, or copied from another
// volume (a full disk then fails the run before the product changes).
InstallOutcome bringBeside(const FolderHandle& work, const std::string& name,
                           const FolderHandle& install, FolderHandle& incoming) {
    const std::string beside = incomingFolderName();
    platform::removeEntry(install, beside);
    platform::IoError moved = platform::moveEntry(work, name, install, beside);
    if (moved == platform::IoError::None) {
        return openOurFolder(install, beside, true, incoming);
    }
    if (moved != platform::IoError::OtherVolume) {
        InstallFailure failure = failureOfIo(moved);
        return {failure, 0, install.path + "/" + beside};
    }
    FolderHandle staged = platform::openSubFolder(work, name, false, false);
    InstallOutcome outcome = openOurFolder(install, beside, true, incoming);
    outcome = outcome.ok() ? copyTree(staged, incoming) : outcome;
    platform::closeFolder(staged);
    return outcome;
}

// No entry keeps permissions an archive chose.  `names` gets the path of
// every entry below `folder`, `below` put before it.
void tidyTree(const FolderHandle& folder, const std::string& below,
              std::vector<std::string>& names) {
    for (const std::string& name : platform::entriesOf(folder)) {
        platform::tidyPermissions(folder, name);
        names.push_back(below + name);
        if (platform::entryIn(folder, name).type == EntryType::Folder) {
            FolderHandle inner = platform::openSubFolder(folder, name, false, false);
            tidyTree(inner, below + name + platform::kPathSep, names);
            platform::closeFolder(inner);
        }
    }
}

// Every path the run makes must fit the system's paths; the longest are the
// entries in the folder that brings them beside the product folder.
InstallOutcome checkPathLengths(const std::string& installFolder,
                                const std::vector<std::string>& entries) {
    std::string beside =
        installFolder + platform::kPathSep + incomingFolderName() + platform::kPathSep;
    for (const std::string& entry : entries) {
        if (!platform::pathFits(beside + entry)) {
            return {InstallFailure::FolderTooLong, 0, entry};
        }
    }
    return {};
}

// What a run killed while unpacking left beside the product folder (an
// earlier version unpacked there); only folders of ours go.
void removeLeftUnpackingFolders(const FolderHandle& install) {
    const std::string prefix = std::string(".") + kProductFolderName + ".unpacking-";
    for (const std::string& name : platform::entriesOf(install)) {
        Entry entry = platform::entryIn(install, name);
        if (name.rfind(prefix, 0) == 0 && entry.type == EntryType::Folder && entry.ours) {
            platform::removeEntry(install, name);
        }
    }
}

}  // namespace

std::string parentFolderOf(const std::string& path) {
    // Windows takes "/" as a separator too.
    size_t last = path.find_last_of(std::string("/") + platform::kPathSep);
    return last == std::string::npos ? std::string(".") : path.substr(0, last);
}

InstallOutcome prepareFolders(const std::string& productFolder, HeldFolders& held) {
    if (productFolder.empty()) {
        return {InstallFailure::FolderFailed, 0, productFolder};
    }
    // The main program at least must fit: refused before any download.
    std::string installFolder = parentFolderOf(productFolder);
    if (!checkPathLengths(installFolder, {kMainExecutableName}).ok()) {
        return {InstallFailure::FolderTooLong, 0, ""};
    }
    InstallOutcome outcome = preparePrivateFolder(productFolder);
    if (!outcome.ok()) {
        return outcome;
    }
    // The folder the user named is made as named (no shell ever sees it).
    outcome = openFolderPath(installFolder, held.install);
    Entry install = platform::entryOf(held.install);
    if (!outcome.ok() || !trusted(install, true)) {
        return outcome.ok() ? foreign(installFolder, install) : outcome;
    }
    std::string productName = productFolder.substr(installFolder.size() + 1);
    outcome = openOurFolder(held.install, productName, false, held.product, &held.madeProduct);
    if (!outcome.ok()) {
        return outcome;
    }
    bool busy = false;
    held.lock = platform::lockFile(productFolder + ".lock", busy);
    Entry lock = platform::entryIn(held.install, productName + ".lock");
    if (!held.lock.isOpen()) {
        return lock.type != EntryType::File && lock.type != EntryType::Missing
                   ? foreign(productFolder + ".lock", lock)
                   : InstallOutcome{
                         busy ? InstallFailure::AnotherInstallRunning : InstallFailure::NotWritable,
                         0, installFolder};
    }
    if (!lock.ours) {
        return foreign(productFolder + ".lock", lock);
    }
    removeLeftUnpackingFolders(held.install);
    return {};
}

void releaseFolders(HeldFolders& held, bool failed) {
    if (failed && held.madeProduct && held.product.isOpen() &&
        platform::entriesOf(held.product).empty()) {
        std::string name = held.product.path.substr(held.product.path.find_last_of("/\\") + 1);
        platform::closeFolder(held.product);
        platform::removeEntry(held.install, name);
    }
    platform::closeFolder(held.product);
    platform::closeFolder(held.install);
    platform::closeFile(held.lock);
}

InstallOutcome unpackIntoProductFolder(const std::string& archivePath, HeldFolders& held,
                                       const EntryCallback& onEntry) {
    FolderHandle work = platform::openFolder(parentFolderOf(archivePath));
    platform::removeEntry(work, kUnpackingFolder);
    FolderHandle staging;
    InstallOutcome outcome = openOurFolder(work, kUnpackingFolder, true, staging);
    if (outcome.ok()) {
        ExtractResult extracted = extractArchive(archivePath, staging.path, onEntry);
        outcome = {failureOfExtraction(extracted.status), 0, extracted.failedEntry};
        if (outcome.ok() &&
            platform::entryIn(staging, kMainExecutableName).type != EntryType::File) {
            outcome = {InstallFailure::MainProgramMissing, 0, ""};
        }
        if (outcome.ok()) {
            platform::debugLog("unpacked " + std::to_string(extracted.entriesWritten) + " entries");
            std::vector<std::string> entries;
            tidyTree(staging, "", entries);
            outcome = checkPathLengths(held.install.path, entries);
        }
    }
    platform::closeFolder(staging);
    FolderHandle incoming;
    if (outcome.ok()) {
        outcome = bringBeside(work, kUnpackingFolder, held.install, incoming);
    }
    if (outcome.ok()) {
        outcome = mergeFolder(incoming, held.product);
    }
    if (incoming.isOpen()) {
        std::string beside = incoming.path.substr(incoming.path.find_last_of("/\\") + 1);
        platform::closeFolder(incoming);
        platform::removeEntry(held.install, beside);
    }
    platform::removeEntry(work, kUnpackingFolder);
    platform::closeFolder(work);
    return outcome;
}

}  // namespace install
