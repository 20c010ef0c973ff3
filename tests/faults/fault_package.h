// What every fault case shares: a real RAR package made with `rar`, one
// install run against it with a recording observer, and the two acceptable
// ends of an installation (the product installed from a byte-identical
// archive, or nothing installed and nothing registered).
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "install/install.h"

namespace faulttest {

constexpr const char* kPackagePath = "/client/win/mainprogram/win-ia32-unpacked.rar";

enum class Payload { Random, Zeros };

struct Package {
    std::string path;   // the archive the backend serves
    std::string bytes;  // its exact content
    std::vector<std::pair<std::string, std::string>> files;
};

// Stand-ins for the product's two programs plus "payload.bin" of `payloadBytes` (random bytes do
// not compress, so the archive is about as large; zeros shrink to almost
// nothing).  Fails the current test when `rar` cannot make it.
Package makePackage(const std::string& folder, std::size_t payloadBytes,
                    Payload kind = Payload::Random);

// What the observer of one run heard.
struct RunRecord {
    std::vector<int> percents;
    int finished = 0;
    std::vector<InstallOutcome> failures;
};

// One whole install run into productFolder from packageUrl, on this thread,
// with the context's API base URL for the success event.
InstallOutcome runInstall(InstallerContext& context, const std::string& productFolder,
                          const std::string& packageUrl, const DownloadTiming& timing,
                          RunRecord& record);

// Every file of the package in the product folder with its exact content,
// the archive removed, the main program registered.
void expectInstalled(const std::string& productFolder, const Package& package);
// No uninstall entries, no "DisplayPath", no desktop entry.
void expectNotRegistered(const std::string& desktop);
// After a failed download: no product file either, and whatever archive is
// left is a prefix of the package, never other bytes.
void expectDownloadFailedCleanly(const std::string& productFolder, const std::string& desktop,
                                 const Package& package);

}  // namespace faulttest
