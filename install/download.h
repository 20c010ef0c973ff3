// The package download: resumable slices streamed straight into one archive
// file.  Internal to the install engine (InstallRun uses it; tests and the
// benchmarks drive it directly with short slices).
//
// Contract: downloadPackage blocks its (download) thread until the package is
// whole, the attempts are spent or the deadline has passed, and returns; it
// owns the archive file handle from the first attempt to the last.  The
// progress callback runs on that same thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "install/install.h"

namespace install {

// What an archive may hold when the install information announced no size.
constexpr std::int64_t kUnannouncedLimit = std::int64_t{4} << 30;

struct DownloadRequest {
    std::string url;
    std::string archivePath;
    DownloadTiming timing;
    Deadline deadline = kNoDeadline;
    // Hashes to compute while the bytes arrive (for the package checks).
    bool sha256 = false;
    bool prehash = false;
    // Continue a partial archive that an earlier run left of this same
    // package: `identity` (address, size, digest) must match the record the
    // earlier run wrote beside the archive.  Otherwise the archive starts
    // from nothing.
    bool resume = false;
    std::string identity;
    std::int64_t expectedSize = -1;  // the package's size when known
    // Each new whole percentage, with the speed of the current attempt in
    // bytes per second.
    std::function<void(int percent, double bytesPerSecond)> onProgress;
};

// What a download leaves for the checks.
struct DownloadedPackage {
    std::string sha256;  // hex, when asked for
    std::array<unsigned char, 64> prehash{};
    bool resumed = false;  // it continued an earlier run's archive
};

struct DownloadResult {
    InstallOutcome outcome;
    DownloadedPackage package;  // when the outcome is ok
};

// Downloads request.url into request.archivePath, deleting a stale file
// first (or continuing it, see DownloadRequest::resume).  An attempt counts
// only with status 200 from offset 0, 206 whose range starts at the file's
// size, or a 416 saying the file already holds the whole package; an error
// body is never written, and a 200 to a resumed request empties the file so
// the package starts again from zero.  Only http and https are spoken,
// redirects included, and at most ten redirects are followed.  Failed
// attempts are retried after timing.pause, up to timing.attempts in all;
// five lasting refusals in a row end the download, and a failure no retry
// can heal (a full disk, an archive that cannot be written, a refused
// address) ends it at once and removes the partial archive.  At the
// deadline the download ends with TimedOut and keeps the archive.  The
// archive never grows past expectedSize (kUnannouncedLimit without one): an
// answer that goes on is cut there and the attempt fails; five in a row end
// the download with PackageTooLarge.
DownloadResult downloadPackage(const DownloadRequest& request);

// Whole percentage of resumeOffset + done against resumeOffset + total, or -1
// while the total of this attempt is unknown (0).  64-bit throughout.
int downloadPercent(std::int64_t resumeOffset, std::int64_t done, std::int64_t total);

class PackageHashes;
// Feeds a whole file through `hashes`; false when it could not be read to
// its end.
bool hashFile(const std::string& path, PackageHashes& hashes);

// The record beside an archive that says which package it is part of.
std::string downloadRecordPath(const std::string& archivePath);
// Removes the archive and its record.
void removeArchive(const std::string& archivePath);

}  // namespace install
