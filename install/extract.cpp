// Archive extraction through the UnRAR library, loaded by name at run time.
#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

#include "install/install.h"
#include "install/unrar_api.h"

namespace {

struct UnrarLibrary {
    unrar::OpenArchiveExFn openArchive = nullptr;
    unrar::CloseArchiveFn closeArchive = nullptr;
    unrar::ReadHeaderExFn readHeader = nullptr;
    unrar::ProcessFileFn processFile = nullptr;
};

template <typename Function>
bool resolve(void* library, const char* name, Function& function) {
    void* address = platform::librarySymbol(library, name);
    if (address == nullptr) {
        return false;
    }
    std::memcpy(&function, &address, sizeof function);
    return true;
}

UnrarLibrary loadUnrarLibrary() {
    UnrarLibrary api;
    void* library = platform::loadLibrary("libunrar.so.5");
    if (library == nullptr || !resolve(library, "RAROpenArchiveEx", api.openArchive) ||
        !resolve(library, "RARCloseArchive", api.closeArchive) ||
        !resolve(library, "RARReadHeaderEx", api.readHeader) ||
        !resolve(library, "RARProcessFile", api.processFile)) {
        return UnrarLibrary{};
    }
    return api;
}

// Loaded once per process and never unloaded.
const UnrarLibrary* unrarLibrary() {
    static const UnrarLibrary api = loadUnrarLibrary();
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

bool isSafeEntry(const unrar::HeaderDataEx& header, const std::string& name) {
    if (!isContainedEntryPath(name)) {
        return false;
    }
    if (header.RedirType == 0) {
        return true;
    }
    // A link is only as safe as its target; an unknown target is refused.
    std::wstring target = header.RedirName ? std::wstring(header.RedirName) : std::wstring();
    return !target.empty() && isContainedEntryPath(fromWide(target));
}

ExtractResult extractEntries(const UnrarLibrary& api, void* archive,
                             const std::string& productFolder, std::ostream& namesOut) {
    ExtractResult result;
    auto header = std::make_unique<unrar::HeaderDataEx>();
    std::vector<wchar_t> linkTarget(4096);
    std::string destination = productFolder;
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
            result.status = ExtractStatus::DamagedEntry;
            break;
        }
        header->FileNameW[1023] = L'\0';
        std::string name = fromWide(header->FileNameW);
        namesOut << name << '\n';
        if (!isSafeEntry(*header, name)) {
            result.status = ExtractStatus::UnsafeEntry;
            result.failedEntry = name;
            break;
        }
        if (api.processFile(archive, unrar::kExtract, &destination[0], nullptr) !=
            unrar::kSuccess) {
            result.status = ExtractStatus::DamagedEntry;
            result.failedEntry = name;
            break;
        }
        ++result.entriesWritten;
    }
    namesOut.flush();
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
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = name.size();
        }
        if (name.compare(start, end - start, "..") == 0) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

ExtractResult extractArchive(const std::string& archivePath, const std::string& productFolder,
                             std::ostream& namesOut) {
    ExtractResult result;
    const UnrarLibrary* api = unrarLibrary();
    if (api == nullptr) {
        platform::debugLog("cannot load libunrar.so.5");
        result.status = ExtractStatus::LibraryMissing;
        return result;
    }
    useUtf8Locale();

    std::string archiveName = archivePath;
    unrar::OpenArchiveDataEx request{};
    request.ArcName = &archiveName[0];
    request.OpenMode = unrar::kOpenForExtract;
    void* archive = api->openArchive(&request);
    if (archive == nullptr || request.OpenResult != unrar::kSuccess) {
        if (archive != nullptr) {
            api->closeArchive(archive);
        }
        platform::debugLog("RAROpenArchiveEx err");
        result.status = ExtractStatus::NotAnArchive;
        return result;
    }
    result = extractEntries(*api, archive, productFolder, namesOut);
    api->closeArchive(archive);
    platform::removeFile(archivePath);
    if (!result.ok()) {
        platform::debugLog(std::string("extraction stopped: ") +
                           describeExtractStatus(result.status) +
                           (result.failedEntry.empty() ? "" : " (" + result.failedEntry + ")"));
    }
    return result;
}
