#include "install/download.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <thread>
#include <type_traits>
#include <vector>

#include "backend/curl_limits.h"
#include "install/package_check.h"
#include "install/response.h"

static_assert(std::is_same<curl_off_t, std::int64_t>::value,
              "the progress callback is declared with std::int64_t for curl_off_t");

namespace install {
namespace {

// What the attempts of one download share.
struct DownloadState {
    explicit DownloadState(const DownloadRequest& what)
        : request(&what),
          limit(what.expectedSize >= 0 ? what.expectedSize : kUnannouncedLimit),
          hashes(what.sha256, what.prehash) {}
    const DownloadRequest* request;
    platform::FileHandle archive;
    std::int64_t held = 0;  // bytes in the archive
    // Bytes the archive may hold: the announced size, or kUnannouncedLimit.
    std::int64_t limit;
    // The last whole percentage passed on; 0 at the start, so 0 is never
    // reported.
    int lastReportedPercent = 0;
    PackageHashes hashes;  // of every byte the archive holds
    bool resumed = false;  // it continued an earlier run's archive
};

// What one attempt knows about itself; handed to the progress callback.
struct TransferProgress {
    // Bytes already in the archive file when the attempt's body began (0
    // again when the server restarted the file from its beginning).
    std::int64_t resumeOffset = 0;
    CURL* transfer = nullptr;
    DownloadState* download = nullptr;
    // Set once the response has been judged to carry package bytes; until
    // then (headers, redirects, error pages) nothing is reported.
    bool bodyAccepted = false;
};

// How one attempt ended.
struct AttemptResult {
    bool done = false;    // the archive now holds the whole package
    long httpStatus = 0;  // of the last response, 0 when none came
    // Not None: the address keeps getting the same refusal (a lasting HTTP
    // status, a redirect loop, no TLS where TLS was asked for, more bytes
    // than the package has), and this is what it amounts to.
    InstallFailure lasting = InstallFailure::None;
    // Not None: another attempt cannot help (our disk, our file, the address
    // itself); the download ends at once.
    InstallFailure fatal = InstallFailure::None;
};

constexpr long kReceiveBufferBytes = 512 * 1024;

// Answers that will not change from one attempt to the next end the download
// after this many in a row, instead of retrying for the whole schedule.
constexpr int kLastingStatusesInARow = 5;

// Everything one attempt's callbacks share.
struct ArchiveSink {
    TransferProgress* progress = nullptr;
    std::string contentRange;  // of the response now being received
    bool judged = false;
    ResponseVerdict verdict = ResponseVerdict::Reject;
    platform::IoError writeError = platform::IoError::None;  // of the archive file
    bool overlong = false;  // the answer went on past what the archive may hold
};

bool startsWithNoCase(const std::string& text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) !=
                                    std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

// Redirects bring several responses into one attempt; only the headers of
// the latest one describe the body that reaches writeToFile.
size_t onHeaderLine(char* data, size_t size, size_t count, void* userData) {
    auto* sink = static_cast<ArchiveSink*>(userData);
    std::string line(data, size * count);
    if (startsWithNoCase(line, "HTTP/")) {
        sink->contentRange.clear();
        sink->judged = false;
        sink->progress->bodyAccepted = false;
    } else if (startsWithNoCase(line, "Content-Range:")) {
        sink->contentRange = trimmed(line.substr(14));
    }
    return size * count;
}

long responseStatus(const TransferProgress& progress) {
    long status = 0;
    curl_easy_getinfo(progress.transfer, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

void logRejected(long status, const std::string& contentRange) {
    platform::debugLog("download answered with HTTP " + std::to_string(status) +
                       (contentRange.empty() ? "" : " (" + contentRange + ")"));
}

// A 200 to a resumed request gets here only with a Content-Range at the
// resume offset (libcurl refuses any other before the first body byte,
// CURLE_RANGE_ERROR, and settleWithoutBody restarts the file), and such a
// body continues the file.
void judgeCurrentResponse(ArchiveSink& sink) {
    long status = responseStatus(*sink.progress);
    sink.verdict = judgeResponse(status, sink.progress->resumeOffset, sink.contentRange);
    sink.judged = true;
    if (sink.verdict == ResponseVerdict::Reject) {
        logRejected(status, sink.contentRange);
    }
    sink.progress->bodyAccepted = sink.verdict == ResponseVerdict::Append;
}

// libcurl write callback: writes the body only after judging the response;
// returns 0 to abort the attempt.
std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* userData) {
    auto* sink = static_cast<ArchiveSink*>(userData);
    if (!sink->judged) {
        judgeCurrentResponse(*sink);
    }
    if (!sink->progress->bodyAccepted) {
        return 0;
    }
    std::size_t bytes = size * count;
    DownloadState& download = *sink->progress->download;
    // The server does not decide how much lands on our disk: what goes past
    // the package's size is cut off, and the attempt ends there.
    std::size_t room = static_cast<std::size_t>(std::max<std::int64_t>(
        0,
        std::min<std::int64_t>(download.limit - download.held, static_cast<std::int64_t>(bytes))));
    sink->overlong = room < bytes;
    sink->writeError = platform::appendToFile(download.archive, data, room);
    if (sink->writeError != platform::IoError::None) {
        return 0;
    }
    download.hashes.add(data, room);
    download.held += static_cast<std::int64_t>(room);
    return sink->overlong ? 0 : bytes;
}

// Passes a percentage on and logs "当前进度:" with six decimals.
void reportProgress(const DownloadRequest& request, int percent, double bytesPerSecond) {
    if (request.onProgress) {
        // libcurl calls us from C: nothing may be thrown back through it.
        try {
            request.onProgress(percent, bytesPerSecond);
        } catch (...) {
            platform::debugLog("progress display failed");
        }
    }
    char number[64];
    std::snprintf(number, sizeof number, "%f", static_cast<double>(percent));
    platform::debugLog(std::string("当前进度:") + number + "%");
}

// libcurl transfer-information callback: reports each new whole percentage
// once; always returns 0.
int onTransferProgress(void* record, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t,
                       curl_off_t) {
    auto* progress = static_cast<TransferProgress*>(record);
    DownloadState& download = *progress->download;
    if (!progress->bodyAccepted) {
        return 0;
    }
    // What the archive holds of this attempt: what arrived, but nothing the
    // size limit cut off.
    std::int64_t kept = std::min<std::int64_t>(downloadNow, download.held - progress->resumeOffset);
    int percent = downloadPercent(progress->resumeOffset, kept, downloadTotal);
    if (percent < 0 || percent == download.lastReportedPercent) {
        return 0;
    }
    download.lastReportedPercent = percent;
    curl_off_t bytesPerSecond = 0;
    if (curl_easy_getinfo(progress->transfer, CURLINFO_SPEED_DOWNLOAD_T, &bytesPerSecond) !=
        CURLE_OK) {
        bytesPerSecond = 0;
    }
    reportProgress(*download.request, percent, static_cast<double>(bytesPerSecond));
    return 0;
}

// What an attempt whose body never reached writeToFile amounts to: libcurl
// skips the body of a 416 when resuming, and refuses (CURLE_RANGE_ERROR) a
// 200 that ignored the range before any byte is written.
bool settleWithoutBody(ArchiveSink& sink, CURLcode result) {
    long status = responseStatus(*sink.progress);
    DownloadState& download = *sink.progress->download;
    switch (judgeResponse(status, sink.progress->resumeOffset, sink.contentRange)) {
        case ResponseVerdict::Complete:
            return true;
        case ResponseVerdict::Restart:
            platform::debugLog("server ignored the range; the archive starts again from zero");
            platform::truncateFile(download.archive, 0);
            download.held = 0;
            download.hashes.restart();
            return false;
        case ResponseVerdict::Append:
            // An empty body that is all there is (a zero-length remainder).
            return result == CURLE_OK;
        case ResponseVerdict::Reject:
            logRejected(status, sink.contentRange);
            return false;
    }
    return false;
}

void setTransferOptions(CURL* curl, const std::string& url, ArchiveSink& sink,
                        TransferProgress& progress, std::chrono::milliseconds limit) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeToFile);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limit.count()));
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeaderLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onTransferProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &progress);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    backend::applyConnectionSettings(curl, url);
    // The transfer runs on a thread of its own; time-outs must not use signals.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE,
                     static_cast<curl_off_t>(progress.resumeOffset));
    // Larger receive chunks: fewer callbacks and writes for a large archive.
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
}

// The handshake or the server's certificate failed.  A captive network may
// heal, so it takes five in a row like any lasting answer.
bool isTlsFailure(CURLcode result) {
    switch (result) {
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return true;
        default:
            return false;
    }
}

// Whether another attempt could end differently: the network and the server
// may heal; our disk, our file and a refused address will not.
void judgeFailedAttempt(AttemptResult& attempt, CURLcode result, platform::IoError writeError) {
    if (result == CURLE_OK) {
        return;
    }
    platform::debugLog(std::string("download attempt ended: ") + curl_easy_strerror(result));
    if (writeError != platform::IoError::None) {
        attempt.fatal = failureOfIo(writeError);
    } else if (result == CURLE_URL_MALFORMAT || result == CURLE_UNSUPPORTED_PROTOCOL) {
        attempt.fatal = InstallFailure::AddressRefused;
    } else if (result == CURLE_TOO_MANY_REDIRECTS) {
        attempt.lasting = InstallFailure::AddressRefused;
    } else if (isTlsFailure(result)) {
        attempt.lasting = InstallFailure::SecureConnectionFailed;
    } else if (isLastingStatus(attempt.httpStatus)) {
        attempt.lasting = InstallFailure::PackageUnavailable;
    }
}

// One transfer attempt of at most `limit`, resuming at the file's size.
AttemptResult transferOnce(DownloadState& download, std::chrono::milliseconds limit) {
    AttemptResult attempt;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return attempt;
    }
    std::int64_t size = platform::fileSize(download.archive);
    if (size < 0) {
        curl_easy_cleanup(curl);
        return attempt;
    }
    download.held = size;
    TransferProgress progress;
    progress.resumeOffset = size;
    progress.transfer = curl;
    progress.download = &download;
    ArchiveSink sink;
    sink.progress = &progress;
    setTransferOptions(curl, download.request->url, sink, progress, limit);

    CURLcode result = curl_easy_perform(curl);
    attempt.httpStatus = responseStatus(progress);
    attempt.done =
        sink.judged ? result == CURLE_OK && progress.bodyAccepted : settleWithoutBody(sink, result);
    if (!attempt.done) {
        judgeFailedAttempt(attempt, result, sink.writeError);
    }
    if (sink.overlong) {
        platform::debugLog("the answer went past the package's " + std::to_string(download.limit) +
                           " bytes; cut there");
        attempt.lasting = InstallFailure::PackageTooLarge;
    }
    curl_easy_cleanup(curl);
    return attempt;
}

std::string readRecord(const std::string& path) {
    platform::FileHandle file = platform::openFileForReading(path);
    std::string text = platform::readAll(file, 4096);
    platform::closeFile(file);
    return text;
}

bool continueEarlierArchive(DownloadState& download) {
    const DownloadRequest& request = *download.request;
    if (!request.resume || request.identity.empty() ||
        readRecord(downloadRecordPath(request.archivePath)) != request.identity) {
        return false;
    }
    download.archive = platform::openFileForAppend(request.archivePath);
    std::int64_t held = platform::fileSize(download.archive);
    bool fits = held >= 0 && (request.expectedSize < 0 || held <= request.expectedSize);
    // These bytes arrived before this process began: this is their first
    // reading here.
    if (!download.archive.isOpen() || !fits || !hashFile(request.archivePath, download.hashes)) {
        platform::closeFile(download.archive);
        download.hashes.restart();
        return false;
    }
    download.resumed = true;
    platform::debugLog("continuing the archive an earlier run left: " +
                       std::to_string(platform::fileSize(download.archive)) + " bytes");
    return true;
}

// A fresh archive, never a file left by an earlier run (a link planted
// under its name is removed, not written through), and the record that
// lets a later run continue it.
bool openFreshArchive(DownloadState& download) {
    const DownloadRequest& request = *download.request;
    removeArchive(request.archivePath);
    download.archive = platform::createNewFile(request.archivePath);
    if (!download.archive.isOpen()) {
        platform::debugLog("cannot create the archive file " + request.archivePath);
        return false;
    }
    if (request.resume && !request.identity.empty()) {
        platform::FileHandle record =
            platform::createNewFile(downloadRecordPath(request.archivePath));
        platform::appendToFile(record, request.identity.data(), request.identity.size());
        platform::closeFile(record);
    }
    return true;
}

// What is left of the run's time, within one step of `limit`; zero once the
// deadline has passed.
std::chrono::milliseconds within(Deadline deadline, std::chrono::milliseconds limit) {
    if (deadline == kNoDeadline) {
        return limit;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return std::max(std::chrono::milliseconds(0), std::min(limit, left));
}

InstallOutcome runAttempts(DownloadState& download) {
    const DownloadRequest& request = *download.request;
    int lastingInARow = 0;
    for (int attempt = 1; attempt <= request.timing.attempts; ++attempt) {
        std::chrono::milliseconds limit = within(request.deadline, request.timing.slice);
        if (limit.count() == 0) {
            platform::debugLog("the deadline passed during the download; the archive is kept");
            return {InstallFailure::TimedOut, 0, ""};
        }
        AttemptResult result = transferOnce(download, limit);
        platform::debugLog("attempt " + std::to_string(attempt) + ": HTTP " +
                           std::to_string(result.httpStatus) + ", archive at " +
                           std::to_string(platform::fileSize(download.archive)) + " bytes" +
                           (result.done ? ", complete" : ""));
        if (result.done) {
            return {};
        }
        if (result.fatal != InstallFailure::None) {
            return {result.fatal, result.httpStatus, ""};
        }
        lastingInARow = result.lasting != InstallFailure::None ? lastingInARow + 1 : 0;
        if (lastingInARow >= kLastingStatusesInARow) {
            platform::debugLog("the package address keeps refusing (HTTP " +
                               std::to_string(result.httpStatus) + "); giving up");
            return {result.lasting, result.httpStatus, ""};
        }
        std::this_thread::sleep_for(within(request.deadline, request.timing.pause));
    }
    platform::debugLog("download failed after " + std::to_string(request.timing.attempts) +
                       " attempts");
    return {InstallFailure::DownloadFailed, 0, ""};
}

}  // namespace

int downloadPercent(std::int64_t resumeOffset, std::int64_t done, std::int64_t total) {
    if (total <= 0) {
        return -1;
    }
    double whole = static_cast<double>(resumeOffset) + static_cast<double>(total);
    double have = static_cast<double>(resumeOffset) + static_cast<double>(done);
    return static_cast<int>(have / whole * 100.0);
}

bool hashFile(const std::string& path, PackageHashes& hashes) {
    platform::FileHandle file = platform::openFileForReading(path);
    std::vector<char> chunk(kReceiveBufferBytes);
    std::int64_t got = -1;
    while (file.isOpen() && (got = platform::readSome(file, chunk.data(), chunk.size())) > 0) {
        hashes.add(chunk.data(), static_cast<std::size_t>(got));
    }
    platform::closeFile(file);
    return got == 0;
}

std::string downloadRecordPath(const std::string& archivePath) {
    return archivePath + ".download";
}

void removeArchive(const std::string& archivePath) {
    platform::removeFile(archivePath);
    platform::removeFile(downloadRecordPath(archivePath));
}

DownloadResult downloadPackage(const DownloadRequest& request) {
    DownloadResult result;
    DownloadState download(request);
    if (request.archivePath.empty() ||
        (!continueEarlierArchive(download) && !openFreshArchive(download))) {
        result.outcome = {InstallFailure::NotWritable, 0, request.archivePath};
        return result;
    }
    result.outcome = runAttempts(download);
    platform::closeFile(download.archive);
    InstallFailure failure = result.outcome.failure;
    if (failure == InstallFailure::DiskFull || failure == InstallFailure::NotWritable) {
        // What a full disk left is of no use, and it holds the space.
        removeArchive(request.archivePath);
    }
    if (result.outcome.ok()) {
        result.package.sha256 = download.hashes.sha256Hex();
        result.package.prehash = download.hashes.prehash();
    }
    result.package.resumed = download.resumed;
    return result;
}

}  // namespace install
