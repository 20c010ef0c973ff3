// Install folder, product folder and the free space shown beside them.
#include <future>
#include <system_error>

#include "install/install.h"

namespace install {

const char* const kProductFolderName = "win-ia32-unpacked";
const char* const kMainExecutableName = "hobnarAudio.exe";

std::string joinPath(const std::string& folder, const std::string& name) {
    // Windows takes "/" as a separator too.
    bool endsInSeparator =
        !folder.empty() && (folder.back() == platform::kPathSep || folder.back() == '/');
    return endsInSeparator ? folder + name : folder + platform::kPathSep + name;
}

std::string productFolderFor(const std::string& installFolder) {
    return joinPath(installFolder, kProductFolderName);
}

std::string mainExecutableIn(const std::string& productFolder) {
    return joinPath(productFolder, kMainExecutableName);
}

std::string privateFolderFor(const std::string& productFolder) {
    std::string local = platform::localAppDataDir();
    if (local.empty()) {
        return {};
    }
    platform::Sha256 digest;
    digest.add(productFolder.data(), productFolder.size());
    std::string key = digest.hex().substr(0, 16);
    return joinPath(joinPath(joinPath(local, "hobnarAudio"), "downloads"), key);
}

std::string archivePathFor(const std::string& productFolder) {
    std::string folder = privateFolderFor(productFolder);
    return folder.empty() ? std::string()
                          : joinPath(folder, std::string(kProductFolderName) + ".rar");
}

std::shared_future<PackageFacts> knownPackage(PackageFacts facts) {
    std::promise<PackageFacts> known;
    known.set_value(std::move(facts));
    return known.get_future().share();
}

namespace {

// The folder itself when it exists, else its nearest existing parent: the
// volume a not-yet-created product folder will live on.  Empty when none
// (an empty or relative name never measures the working folder's volume).
std::string nearestExistingFolder(const std::string& folder) {
    platform::PathParts parts = platform::pathParts(folder);
    if (parts.root.empty()) {
        return {};
    }
    for (size_t count = parts.names.size() + 1; count-- > 0;) {
        std::string candidate = parts.root;
        for (size_t i = 0; i < count; ++i) {
            candidate += (i == 0 ? "" : std::string(1, platform::kPathSep)) + parts.names[i];
        }
        if (platform::fileExists(candidate)) {
            return candidate;
        }
    }
    return {};
}

}  // namespace

double queryDiskSpaceGB(std::string folder, bool total) {
    std::string existing = nearestExistingFolder(folder);
    if (existing.empty()) {
        return -1.0;
    }
    std::optional<platform::DiskSpace> space = platform::diskSpace(existing);
    if (!space) {
        return -1.0;
    }
    std::uint64_t bytes = total ? space->totalBytes : space->freeBytes;
    return static_cast<double>(bytes) * (1.0 / 1073741824.0);
}

std::string formatGigabytes(double gigabytes) {
    if (gigabytes < 0) {
        return {};
    }
    return platform::formatNumber("%.2f", gigabytes) + "GB";
}

std::string formatFreeSpace(std::string folder) {
    return formatGigabytes(queryDiskSpaceGB(folder, false));
}

}  // namespace install
