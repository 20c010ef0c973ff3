// What every fault case shares: a real RAR package made with `rar`, one
// install run against the backend, the package requests the backend logged,
// and the two acceptable ends of an installation (the product installed from
// a byte-identical archive, or nothing installed and nothing registered).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "install/install.h"

namespace faulttest {

using namespace install;

constexpr const char* kPackagePath = "/client/win/mainprogram/win-ia32-unpacked.rar";
constexpr const char* kProductKey = "SOFTWARE\\ZorozAvuzado";
// Short pauses and few attempts: a case takes seconds, not the real schedule.
inline const DownloadTiming kShortTiming{std::chrono::seconds(10), std::chrono::milliseconds(5), 3};

enum class Payload { Random, Zeros };

struct Package {
    std::string path;   // the archive the backend serves
    std::string bytes;  // its exact content
    std::vector<std::pair<std::string, std::string>> files;
};

// Stand-ins for the product's two programs plus "payload.bin" (random bytes
// do not compress, so the archive is about as large; zeros shrink to almost
// nothing).
Package makePackage(const std::string& folder, std::size_t payloadBytes,
                    Payload kind = Payload::Random);

// What one install run did: its end, the progress and the events it reported.
struct RunResult {
    InstallOutcome outcome;
    std::vector<int> percents;
    std::vector<std::string> events;
};
// One whole install run into productFolder on this thread, the package fetched
// from `packageUrl`, its events recorded instead of sent (the backend adds
// nothing to them here).  Fails the test unless exactly one end, the returned
// one, is reported.
RunResult runInstall(const std::string& packageUrl, const std::string& productFolder,
                     const DownloadTiming& timing = kShortTiming, std::int64_t announcedSize = -1,
                     const std::string& sha256 = "");

// A package request as the backend logged it.
struct Served {
    std::int64_t from;  // 0 without a Range
    int status;
    std::int64_t sent;
};
std::vector<Served> packageRequests(const std::string& backendLog);

// Every file of the package in the product folder with its exact content,
// the archive removed, the main program registered.
void expectInstalled(const std::string& productFolder, const Package& package);
// Nothing registered or linked, no product file, and whatever archive is
// left a prefix of the package, never other bytes.
void expectDownloadFailedCleanly(const std::string& productFolder, const std::string& desktop,
                                 const Package& package);

}  // namespace faulttest
