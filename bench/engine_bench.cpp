// Runs one step of the install engine exactly as the installer does and
// prints how long it took, for bench/run.sh:
//
//   hobnar-bench download URL INSTALL_FOLDER [CHECKS]
//                                              downloadPackage into
//                                              INSTALL_FOLDER/win-ia32-unpacked.rar,
//                                              hashing for CHECKS (sha256,
//                                              sha256+signature) as it arrives
//   hobnar-bench extract ARCHIVE FOLDER        extractArchive of ARCHIVE into FOLDER
//
// The last line on standard output is "result seconds=S bytes=B" (bytes: the
// downloaded archive's size, or the number of entries written).  The caller
// provides a throw-away HOME.
#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include <filesystem>

#include "install/download.h"
#include "install/extract.h"
#include "platform/platform.h"

namespace {

using namespace install;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// `checks`: "" (none), "sha256", or "sha256+signature" (both hashes while
// the bytes arrive, as a build with a signing key computes them).
int runDownload(const std::string& url, const std::string& installFolder,
                const std::string& checks) {
    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
        std::cerr << "hobnar-bench: curl_global_init failed" << std::endl;
        return 1;
    }
    std::string productFolder = productFolderFor(installFolder);
    std::error_code error;
    std::filesystem::create_directories(productFolder, error);
    DownloadRequest request;
    request.url = url;
    request.archivePath = archivePathFor(productFolder);
    request.sha256 = checks.find("sha256") != std::string::npos;
    request.prehash = checks.find("signature") != std::string::npos;
    auto start = std::chrono::steady_clock::now();
    bool done = downloadPackage(request).outcome.ok();
    double seconds = secondsSince(start);
    std::int64_t bytes = -1;
    platform::FileHandle archive = platform::openFileForAppend(request.archivePath);
    if (archive.isOpen()) {
        bytes = platform::fileSize(archive);
        platform::closeFile(archive);
    }
    curl_global_cleanup();
    std::printf("result seconds=%.6f bytes=%lld\n", seconds, static_cast<long long>(bytes));
    return done ? 0 : 1;
}

int runExtract(const std::string& archivePath, const std::string& folder) {
    auto start = std::chrono::steady_clock::now();
    ExtractResult result = extractArchive(archivePath, folder, nullptr);
    double seconds = secondsSince(start);
    std::printf("result seconds=%.6f bytes=%d\n", seconds, result.entriesWritten);
    if (!result.ok()) {
        std::cerr << "hobnar-bench: " << describeExtractStatus(result.status) << " "
                  << result.failedEntry << std::endl;
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string step = argc == 4 || argc == 5 ? argv[1] : "";
    if (step == "download") {
        return runDownload(argv[2], argv[3], argc == 5 ? argv[4] : "");
    }
    if (step == "extract") {
        return runExtract(argv[2], argv[3]);
    }
    std::cerr << "usage: hobnar-bench download URL INSTALL_FOLDER [sha256|sha256+signature]\n"
                 "       hobnar-bench extract ARCHIVE FOLDER"
              << std::endl;
    return 2;
}
