// Archive extraction through the UnRAR library's documented interface.
#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "install/extract.h"
#include "install/unrar_api.h"
#include "platform/platform.h"

namespace install {
namespace {

// Loaded once per process and never unloaded.  A library that was missing
// is looked for again next time: it may have been installed meanwhile, and a
// retry must then find it.
const unrar::Library* unrarLibrary() {
    static std::mutex mutex;
    static unrar::Library api;
    std::lock_guard<std::mutex> lock(mutex);
    if (api.openArchive == nullptr) {
        api = unrar::loadLibrary();
    }
    return api.openArchive != nullptr ? &api : nullptr;
}

// The library turns the wide entry names into file names through the C
// locale, so the locale must speak UTF-8 for non-ASCII names to survive.
// The window layer has already taken the user's locale at start-up, so on
// the download thread this normally sets what is already set.
void useUtf8Locale() {
    std::setlocale(LC_ALL, "");
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    std::string name = current ? current : "";
    for (char& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (name.find("utf-8") == std::string::npos && name.find("utf8") == std::string::npos) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
}

// Bytes in one part of a path that Linux's and Windows' file systems hold.
constexpr size_t kLongestName = 255;

bool isSafeEntry(const unrar::HeaderDataEx& header, const std::string& name) {
    if (!isContainedEntryPath(name)) {
        return false;
    }
    if (header.RedirType == 0) {
        return true;
    }
    // A link is only as safe as its target; an unknown target is refused.
    std::wstring target = header.RedirName ? std::wstring(header.RedirName) : std::wstring();
    return !target.empty() && isContainedEntryPath(platform::fromWide(target));
}

std::uint64_t unpackedSize(const unrar::HeaderDataEx& header) {
    return (static_cast<std::uint64_t>(header.UnpSizeHigh) << 32) | header.UnpSize;
}

// The library says only that a file could not be created or written; a
// volume without room for the entry tells a full disk from a folder that
// refuses writing.
ExtractStatus statusOfProcessing(int processed, const unrar::HeaderDataEx& header,
                                 const std::string& folder) {
    switch (processed) {
        case unrar::kSuccess:
            return ExtractStatus::Ok;
        case unrar::kMissingPassword:
        case unrar::kBadPassword:
            return ExtractStatus::Encrypted;
        case unrar::kCreateError:
        case unrar::kWriteError: {
            std::optional<platform::DiskSpace> space = platform::diskSpace(folder);
            bool full = space && (space->freeBytes < unpackedSize(header) + 64 * 1024 ||
                                  space->freeFiles == 0);
            return full ? ExtractStatus::DiskFull : ExtractStatus::NotWritable;
        }
        default:
            return ExtractStatus::DamagedEntry;
    }
}

ExtractResult extractEntries(const unrar::Library& api, void* archive,
                             const std::string& productFolder, const EntryCallback& onEntry) {
    ExtractResult result;
    auto header = std::make_unique<unrar::HeaderDataEx>();
    std::vector<wchar_t> linkTarget(4096);
    std::wstring destination = platform::toWide(productFolder);
    for (;;) {
        std::memset(header.get(), 0, sizeof *header);
        std::fill(linkTarget.begin(), linkTarget.end(), L'\0');
        header->RedirName = linkTarget.data();
        header->RedirNameSize = static_cast<unsigned int>(linkTarget.size());
        int read = api.readHeader(archive, header.get());
        if (read == unrar::kEndArchive) {
            break;
        }
        if (read != unrar::kSuccess) {
            // Encrypted headers open without a password but cannot be read.
            bool locked = read == unrar::kMissingPassword || read == unrar::kBadPassword;
            result.status = locked ? ExtractStatus::Encrypted : ExtractStatus::DamagedEntry;
            break;
        }
        header->FileNameW[1023] = L'\0';
        std::string name = platform::fromWide(header->FileNameW);
        if (onEntry && !onEntry(platform::singleLine(name))) {
            result.status = ExtractStatus::Stopped;
            break;
        }
        ExtractStatus status = !isSafeEntry(*header, name) ? ExtractStatus::UnsafeEntry
                               : (header->Flags & unrar::kEntryEncrypted) ? ExtractStatus::Encrypted
                                                                          : ExtractStatus::Ok;
        if (status == ExtractStatus::Ok) {
            int processed = api.processFile(archive, unrar::kExtract, &destination[0], nullptr);
            status = statusOfProcessing(processed, *header, productFolder);
        }
        if (status != ExtractStatus::Ok) {
            result.status = status;
            result.failedEntry = name;
            break;
        }
        ++result.entriesWritten;
    }
    return result;
}

}  // namespace

const char* describeExtractStatus(ExtractStatus status) {
    switch (status) {
        case ExtractStatus::Ok:
            return "extracted";
        case ExtractStatus::LibraryMissing:
            return "the UnRAR library is not available";
        case ExtractStatus::NotAnArchive:
            return "not a RAR archive";
        case ExtractStatus::DamagedEntry:
            return "a damaged entry";
        case ExtractStatus::UnsafeEntry:
            return "an entry outside the product folder";
        case ExtractStatus::Encrypted:
            return "an encrypted entry";
        case ExtractStatus::DiskFull:
            return "the disk is full";
        case ExtractStatus::NotWritable:
            return "a file cannot be written";
        case ExtractStatus::Stopped:
            return "stopped before an entry";
    }
    return "unknown";
}

bool isContainedEntryPath(const std::string& name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\') {
        return false;
    }
    // "C:..." is rooted on Windows even without a separator.
    if (name.size() >= 2 && name[1] == ':') {
        return false;
    }
    // A name must name something below the folder ("." names the folder
    // itself), and no part of it may be longer than a file system holds.
    bool somewhereBelow = false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = name.size();
        }
        std::string part = name.substr(start, end - start);
        if (part == ".." || part.size() > kLongestName) {
            return false;
        }
        somewhereBelow = somewhereBelow || (!part.empty() && part != ".");
        start = end + 1;
    }
    return somewhereBelow;
}

ExtractResult extractArchive(const std::string& archivePath, const std::string& productFolder,
                             const EntryCallback& onEntry) {
    ExtractResult result;
    const unrar::Library* api = unrarLibrary();
    if (api == nullptr) {
        platform::debugLog("cannot load " + platform::unrarLibraryName());
        result.status = ExtractStatus::LibraryMissing;
        return result;
    }
    useUtf8Locale();

    // Wide names on every system: Windows' narrow calls would read the path
    // in the ANSI code page.
    std::wstring archiveName = platform::toWide(archivePath);
    unrar::OpenArchiveDataEx request{};
    request.ArcNameW = &archiveName[0];
    request.OpenMode = unrar::kOpenForExtract;
    void* archive = api->openArchive(&request);
    if (archive == nullptr || request.OpenResult != unrar::kSuccess) {
        if (archive != nullptr) {
            api->closeArchive(archive);
        }
        platform::debugLog("RAROpenArchiveEx err");
        // Encrypted headers: the archive opens only with its password.
        result.status = request.OpenResult == unrar::kMissingPassword ? ExtractStatus::Encrypted
                                                                      : ExtractStatus::NotAnArchive;
        return result;
    }
    result = extractEntries(*api, archive, productFolder, onEntry);
    api->closeArchive(archive);
    // A caller that stopped early (its deadline) keeps the archive for the
    // next run; anything else has had its one reading.
    if (result.status != ExtractStatus::Stopped) {
        platform::removeFile(archivePath);
    }
    if (!result.ok()) {
        platform::debugLog(std::string("extraction stopped: ") +
                           describeExtractStatus(result.status) +
                           (result.failedEntry.empty() ? "" : " (" + result.failedEntry + ")"));
    }
    return result;
}

}  // namespace install
