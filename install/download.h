// The package download: resumable slices streamed straight into one archive
// file.  Internal to the install engine (InstallRun uses it; tests drive it
// directly with short slices).
//
// Contract: downloadPackage blocks its (download) thread until the package is
// whole or the attempts are spent; it owns the archive file handle from the
// first attempt to the last.  The callbacks run on that same thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "install/install.h"
#include "install/package_check.h"
#include "install/response.h"
#include "platform/platform.h"

struct DownloadRequest {
    std::string url;
    std::string archivePath;
    DownloadTiming timing;
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
    std::function<void(int percent, double bytesPerSecond)> progressCallback;
    // Runs on the download thread once the archive is whole, before
    // downloadPackage returns.
    std::function<void()> downloadDoneCallback;
};

// What the attempts of one download share.
struct DownloadState {
    explicit DownloadState(const DownloadRequest& what)
        : request(&what), hashes(what.sha256, what.prehash) {}
    const DownloadRequest* request;
    platform::FileHandle archive;
    // The last whole percentage passed on; 0 at the start, so 0 is never
    // reported.
    int lastReportedPercent = 0;
    PackageHashes hashes;  // of every byte the archive holds
    bool resumed = false;  // it continued an earlier run's archive
};

// What a successful download leaves for the checks.
struct DownloadedPackage {
    std::string sha256;  // hex, when asked for
    std::array<unsigned char, 64> prehash{};
    bool resumed = false;
};

// Feeds a whole file through `hashes`; false when it could not be read to
// its end.
bool hashFile(const std::string& path, PackageHashes& hashes);

// The record beside an archive that says which package it is part of.
std::string downloadRecordPath(const std::string& archivePath);

// What one attempt knows about itself; handed to the progress callback.
struct TransferProgress {
    // Bytes already in the archive file when the attempt's body began (0
    // again when the server restarted the file from its beginning).
    std::int64_t resumeOffset = 0;
    void* transfer = nullptr;  // the attempt's libcurl easy handle
    DownloadState* download = nullptr;
    // Set once the response has been judged to carry package bytes; until
    // then (headers, redirects, error pages) nothing is reported.
    bool bodyAccepted = false;
};

// How one attempt ended.
struct AttemptResult {
    bool done = false;    // the archive now holds the whole package
    long httpStatus = 0;  // of the last response, 0 when none came
    // The address keeps getting the same refusal (a lasting HTTP status, a
    // redirect loop, no TLS where TLS was asked for).
    bool lasting = false;
    // Not None: another attempt cannot help (our disk, our file, the address
    // itself); the download ends at once.
    InstallFailure fatal = InstallFailure::None;
};

// Whole percentage of resumeOffset + done against resumeOffset + total, or -1
// while the total of this attempt is unknown (0).  64-bit throughout.
int downloadPercent(std::int64_t resumeOffset, std::int64_t done, std::int64_t total);

// libcurl write callback; `sink` is the attempt's internal state.  Writes the
// body only after judging the response; returns 0 to abort the attempt.
std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* sink);
// libcurl transfer-information callback; `record` is a TransferProgress.
// Reports each new whole percentage once; always returns 0.
int onTransferProgress(void* record, std::int64_t downloadTotal, std::int64_t downloadNow,
                       std::int64_t uploadTotal, std::int64_t uploadNow);
// Passes a percentage on (progressCallback) and logs "当前进度:" with six
// decimals.
void reportProgress(const DownloadRequest& request, int percent, double bytesPerSecond);

// One transfer attempt of at most timing.slice, resuming at the file's size.
AttemptResult transferOnce(DownloadState& download);
// Downloads request.url into request.archivePath, deleting a stale file
// first (or continuing it, see DownloadRequest::resume).  `downloaded`, when
// given, is filled before downloadDoneCallback runs.  An attempt counts only with status 200 from
// offset 0, 206 whose range starts at the file's size, or a 416 saying the file already holds the
// whole package; an error body is never written, and a 200 to a resumed request empties the file so
// the package starts again from zero.  Only http and https are spoken, redirects included, and at
// most ten redirects are followed.  Failed attempts are retried after timing.pause, up to
// timing.attempts in all; five lasting refusals in a row end the download,
// and a failure no retry can heal (a full disk, an archive that cannot be
// written, a refused address) ends it at once and removes the partial
// archive.
InstallOutcome downloadPackage(const DownloadRequest& request,
                               DownloadedPackage* downloaded = nullptr);
