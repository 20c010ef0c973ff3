// The package download: resumable slices streamed straight into one file.
#include <curl/curl.h>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <thread>
#include <type_traits>

#include "install/install.h"

static_assert(std::is_same<curl_off_t, std::int64_t>::value,
              "the progress callback is declared with std::int64_t for curl_off_t");

int lastReportedPercent = 0;

int downloadPercent(std::int64_t resumeOffset, std::int64_t done, std::int64_t total) {
    if (total <= 0) {
        return -1;
    }
    double whole = static_cast<double>(resumeOffset) + static_cast<double>(total);
    double have = static_cast<double>(resumeOffset) + static_cast<double>(done);
    return static_cast<int>(have / whole * 100.0);
}

namespace {

bool parseNumber(const std::string& text, std::int64_t& number) {
    if (text.empty() || text.size() > 18) {
        return false;
    }
    number = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        number = number * 10 + (c - '0');
    }
    return true;
}

std::string trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return {};
    }
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

}  // namespace

ContentRange parseContentRange(const std::string& value) {
    ContentRange range;
    std::string text = trimmed(value);
    const std::string unit = "bytes ";
    size_t slash = text.find('/');
    if (text.compare(0, unit.size(), unit) != 0 || slash == std::string::npos) {
        return range;
    }
    std::string span = trimmed(text.substr(unit.size(), slash - unit.size()));
    std::string length = text.substr(slash + 1);
    if (length != "*" && !parseNumber(length, range.completeLength)) {
        return range;
    }
    if (span == "*") {
        range.valid = range.completeLength >= 0;
        return range;
    }
    size_t dash = span.find('-');
    if (dash == std::string::npos || !parseNumber(span.substr(0, dash), range.first) ||
        !parseNumber(span.substr(dash + 1), range.last) || range.last < range.first) {
        return ContentRange{};
    }
    range.valid = range.completeLength < 0 || range.last < range.completeLength;
    if (!range.valid) {
        return ContentRange{};
    }
    return range;
}

ResponseVerdict judgeResponse(long status, std::int64_t offset, const std::string& contentRange) {
    ContentRange range = parseContentRange(contentRange);
    switch (status) {
        case 200:
            return offset == 0 ? ResponseVerdict::Append : ResponseVerdict::Restart;
        case 206:
            return range.valid && range.first == offset ? ResponseVerdict::Append
                                                        : ResponseVerdict::Reject;
        case 416:
            // Asking beyond the end of a file that is already whole.
            return offset > 0 && range.valid && range.first < 0 && range.completeLength == offset
                       ? ResponseVerdict::Complete
                       : ResponseVerdict::Reject;
        default:
            return ResponseVerdict::Reject;
    }
}

namespace {

// Everything one attempt's callbacks share.
struct ArchiveSink {
    platform::FileHandle* archive = nullptr;
    TransferProgress* progress = nullptr;
    std::string contentRange;  // of the response now being received
    bool judged = false;
    ResponseVerdict verdict = ResponseVerdict::Reject;
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

void judgeCurrentResponse(ArchiveSink& sink) {
    long status = 0;
    curl_easy_getinfo(static_cast<CURL*>(sink.progress->transfer), CURLINFO_RESPONSE_CODE, &status);
    sink.verdict = judgeResponse(status, sink.progress->resumeOffset, sink.contentRange);
    sink.judged = true;
    if (sink.verdict == ResponseVerdict::Restart) {
        platform::debugLog("server ignored the range; the archive starts again from zero");
        if (!platform::truncateFile(*sink.archive, 0)) {
            sink.verdict = ResponseVerdict::Reject;
            return;
        }
        sink.progress->resumeOffset = 0;
    }
    if (sink.verdict == ResponseVerdict::Reject) {
        platform::debugLog("download answered with HTTP " + std::to_string(status) +
                           (sink.contentRange.empty() ? "" : " (" + sink.contentRange + ")"));
    }
    sink.progress->bodyAccepted =
        sink.verdict == ResponseVerdict::Append || sink.verdict == ResponseVerdict::Restart;
}

}  // namespace

std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* userData) {
    auto* sink = static_cast<ArchiveSink*>(userData);
    if (!sink->judged) {
        judgeCurrentResponse(*sink);
    }
    if (!sink->progress->bodyAccepted) {
        return 0;
    }
    std::size_t bytes = size * count;
    return platform::appendToFile(*sink->archive, data, bytes) ? bytes : 0;
}

int onTransferProgress(void* record, std::int64_t downloadTotal, std::int64_t downloadNow,
                       std::int64_t /*uploadTotal*/, std::int64_t /*uploadNow*/) {
    auto* progress = static_cast<TransferProgress*>(record);
    if (!progress->bodyAccepted) {
        return 0;
    }
    int percent = downloadPercent(progress->resumeOffset, downloadNow, downloadTotal);
    if (percent < 0 || percent == lastReportedPercent) {
        return 0;
    }
    lastReportedPercent = percent;
    curl_off_t bytesPerSecond = 0;
    if (curl_easy_getinfo(static_cast<CURL*>(progress->transfer), CURLINFO_SPEED_DOWNLOAD_T,
                          &bytesPerSecond) != CURLE_OK) {
        bytesPerSecond = 0;
    }
    double speed = static_cast<double>(bytesPerSecond) / 1024.0;
    reportProgress(*progress->context, percent);
    std::cout << "已下载：" << percent << "%"
              << " 下载速度：" << speed << "kb/s" << std::endl;
    return 0;
}

void reportProgress(InstallerContext& context, double percent) {
    if (context.progressCallback) {
        // libcurl calls us from C: nothing may be thrown back through it.
        try {
            context.progressCallback(percent, context.mainWindow);
        } catch (...) {
            platform::debugLog("progress display failed");
        }
    }
    char number[64];
    std::snprintf(number, sizeof number, "%f", percent);
    platform::debugLog(std::string("当前进度:") + number + "%");
}

namespace {

// What an attempt whose body never reached writeToFile amounts to: libcurl
// skips the body of a 416 when resuming, and refuses (CURLE_RANGE_ERROR) a
// 200 that ignored the range before any byte is written.
bool settleWithoutBody(ArchiveSink& sink, CURLcode result) {
    long status = 0;
    curl_easy_getinfo(static_cast<CURL*>(sink.progress->transfer), CURLINFO_RESPONSE_CODE, &status);
    switch (judgeResponse(status, sink.progress->resumeOffset, sink.contentRange)) {
        case ResponseVerdict::Complete:
            return true;
        case ResponseVerdict::Restart:
            platform::debugLog("server ignored the range; the archive starts again from zero");
            platform::truncateFile(*sink.archive, 0);
            return false;
        case ResponseVerdict::Append:
            // An empty body that is all there is (a zero-length remainder).
            return result == CURLE_OK;
        case ResponseVerdict::Reject:
            platform::debugLog("download answered with HTTP " + std::to_string(status));
            return false;
    }
    return false;
}

constexpr long kReceiveBufferBytes = 512 * 1024;

void setTransferOptions(CURL* curl, const std::string& url, ArchiveSink& sink,
                        TransferProgress& progress, const DownloadTiming& timing) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeToFile);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timing.slice.count()));
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeaderLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onTransferProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &progress);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    // The transfer runs on a thread of its own; time-outs must not use signals.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE,
                     static_cast<curl_off_t>(progress.resumeOffset));
    // Larger receive chunks: fewer callbacks and writes for a large archive.
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
}

}  // namespace

bool transferOnce(InstallerContext& context, platform::FileHandle& archive,
                  const DownloadTiming& timing) {
    std::string url = context.packageUrl;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return false;
    }
    std::int64_t size = platform::fileSize(archive);
    if (size < 0) {
        curl_easy_cleanup(curl);
        return false;
    }
    TransferProgress progress;
    progress.resumeOffset = size;
    progress.transfer = curl;
    progress.context = &context;
    ArchiveSink sink;
    sink.archive = &archive;
    sink.progress = &progress;
    setTransferOptions(curl, url, sink, progress, timing);

    CURLcode result = curl_easy_perform(curl);
    bool done = false;
    if (sink.judged) {
        done = result == CURLE_OK && progress.bodyAccepted;
    } else {
        done = settleWithoutBody(sink, result);
    }
    if (!done && result != CURLE_OK) {
        platform::debugLog(std::string("download attempt ended: ") + curl_easy_strerror(result));
    }
    curl_easy_cleanup(curl);
    return done;
}

bool downloadPackage(InstallerContext& context, const DownloadTiming& timing) {
    if (context.installDir.empty()) {
        // ".rar" alone would land in whatever the working folder is.
        platform::debugLog("no install folder; nothing downloaded");
        return false;
    }
    std::string archivePath = archivePathFor(context.installDir);
    // Never continue a file left by an earlier run.
    if (platform::fileExists(archivePath)) {
        platform::removeFile(archivePath);
    }
    platform::FileHandle archive = platform::openFileForAppend(archivePath);
    if (!archive.isOpen()) {
        platform::debugLog("cannot open the archive file " + archivePath);
        return false;
    }
    platform::truncateFile(archive, 0);

    bool done = false;
    for (int attempt = 1; attempt <= timing.attempts && !done; ++attempt) {
        done = transferOnce(context, archive, timing);
        if (!done) {
            std::this_thread::sleep_for(timing.pause);
        }
    }
    platform::closeFile(archive);
    if (!done) {
        platform::debugLog("download failed after " + std::to_string(timing.attempts) +
                           " attempts");
        return false;
    }
    if (context.downloadDoneCallback) {
        try {
            context.downloadDoneCallback();
        } catch (...) {
            platform::debugLog("the completion after the download failed");
        }
    }
    return true;
}
