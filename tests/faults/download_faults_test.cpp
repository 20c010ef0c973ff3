// The install engine against the real hobnar-backend with one network fault
// at a time: every case ends either installed from a byte-identical archive
// or with the download failed and nothing registered.  The backend listens
// on a port of its own; DownloadTiming shortens the slice and the pause and
// bounds the attempts, so each case takes a few seconds at most.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ostream>
#include <regex>
#include <thread>

#include <filesystem>

#include "install/download.h"
#include "tests/faults/fault_package.h"
#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace {

using faulttest::kPackagePath;
using faulttest::Package;
using testsupport::BackendProcess;
using testsupport::readFile;
using namespace std::chrono_literals;

// Sizes around the backend's 64 KiB send chunks.
constexpr std::size_t kLarge = 300 * 1024 + 77;

// What the backend's request log must show of the package requests.  Where
// the installer ends an attempt itself (slice over), bytes the backend
// counted as sent may never have reached the archive.
enum class Ranges {
    Exact,    // each request asks from exactly what the archive holds
    Growing,  // several requests, each resumed from further on
    AtMost,   // never from beyond what was sent
};

struct FaultRow {
    const char* name;
    std::vector<std::string> faults;
    InstallFailure ends;  // None: installed
    int attempts = 20;
    Ranges ranges = Ranges::Exact;
    std::chrono::milliseconds slice = 10s;
    std::size_t payload = kLarge;
    std::string path = kPackagePath;  // what the installer asks for
    int packageRequests = -1;         // how many the backend must see; -1: any
    const char* scheme = "http";      // of the address the installer is given
};

// Test names in CTest carry the row's name, not its bytes.
void PrintTo(const FaultRow& row, std::ostream* out) {
    *out << row.name;
}

const std::string kRedirected = "/moved/package.rar";
constexpr InstallFailure kInstalled = InstallFailure::None;
constexpr InstallFailure kGaveUp = InstallFailure::DownloadFailed;

const FaultRow kRows[] = {
    // Each request gets at most N more body bytes before the connection closes.
    {"DropAfterOneByteSmallPackage",
     {"--drop-after", "1"},
     kInstalled,
     1000,
     Ranges::Exact,
     10s,
     0},
    {"DropAfterOneByteTooFewAttempts", {"--drop-after", "1"}, kGaveUp, 5},
    {"DropAfterNothing", {"--drop-after", "0"}, kGaveUp, 4},
    {"DropAfterChunkMinusOne", {"--drop-after", "65535"}, kInstalled},
    {"DropAfterOneChunk", {"--drop-after", "65536"}, kInstalled},
    {"DropAfterChunkPlusOne", {"--drop-after", "65537"}, kInstalled},
    {"DropAfterTwoChunks", {"--drop-after", "131072"}, kInstalled},
    {"DropAfterOddSize", {"--drop-after", "99991"}, kInstalled},
    {"DropShortlyBeforeTheEnd", {"--drop-after", std::to_string(kLarge + 100)}, kInstalled},
    // A 200 to a resumed request empties the file and starts again.
    {"IgnoreRange", {"--ignore-range"}, kInstalled, 3},
    {"IgnoreRangeAndDrops", {"--ignore-range", "--drop-after", "65536"}, kGaveUp, 6},
    {"NoLengthAndDrops", {"--no-length", "--drop-after", "100000"}, kInstalled},
    {"ServerErrorBurst", {"--fail-first", "3:503"}, kInstalled, 10},
    {"ServerErrorBurstAndDrops", {"--fail-first", "2:502", "--drop-after", "120000"}, kInstalled},
    {"ServerErrorsOutlastTheAttempts", {"--fail-first", "10:500"}, kGaveUp, 4},
    // Answers that another attempt will not change end the download after
    // five in a row; a busy server (429) is waited out however long it takes.
    {"PackageMissingEndsAfterFiveAnswers",
     {"--status", std::string(kPackagePath) + "=404"},
     InstallFailure::PackageUnavailable,
     50,
     Ranges::Exact,
     10s,
     kLarge,
     kPackagePath,
     5},
    {"TooManyRequestsBurstIsWaitedOut", {"--fail-first", "7:429"}, kInstalled, 10},
    // Addresses another attempt cannot fix end at once; a redirect loop and
    // TLS asked of a plain server end after five attempts, each of at most
    // eleven requests.
    {"RedirectLoopEndsAfterFiveAttempts",
     {"--redirect", "/loop=/loop"},
     InstallFailure::AddressRefused,
     50,
     Ranges::Exact,
     10s,
     kLarge,
     "/loop",
     0},
    {"TlsToAPlainServerEndsAfterFiveAttempts",
     {},
     InstallFailure::AddressRefused,
     50,
     Ranges::Exact,
     10s,
     kLarge,
     kPackagePath,
     0,
     "https"},
    {"OtherProtocolsAreNeverSpoken",
     {},
     InstallFailure::AddressRefused,
     50,
     Ranges::Exact,
     10s,
     kLarge,
     "/_QUIT%0D%0AHELO",
     0,
     "gopher"},
    {"AnAddressWithALineBreakIsRefused",
     {},
     InstallFailure::AddressRefused,
     50,
     Ranges::Exact,
     10s,
     kLarge,
     std::string(kPackagePath) + "\r\nX-Injected: 1",
     0},
    {"RedirectAndDrops",
     {"--redirect", kRedirected + "=" + kPackagePath, "--drop-after", "100000"},
     kInstalled,
     20,
     Ranges::Exact,
     10s,
     kLarge,
     kRedirected},
    // Attempts end at the slice; the next one resumes where the file ends.
    {"ThrottledPastTheSlice", {"--bandwidth", "250000"}, kInstalled, 20, Ranges::Growing, 400ms},
    {"StallWithinTheSlice",
     {"--stall", "0.3", "--stall-path", kPackagePath},
     kInstalled,
     2,
     Ranges::AtMost},
    {"StallPastTheSlice",
     {"--stall", "5", "--stall-path", kPackagePath},
     kGaveUp,
     2,
     Ranges::AtMost,
     300ms},
};

// A package request as the backend logged it.
struct Served {
    std::int64_t from;  // 0 without a Range
    int status;
    std::int64_t sent;
};

std::vector<Served> packageRequests(const std::string& log) {
    const std::regex line("GET " + std::string(kPackagePath) +
                          " (?:range=bytes=([0-9]+)- )?status=([0-9]+) sent=([0-9]+)");
    std::vector<Served> served;
    for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it) {
        const std::smatch& match = *it;
        served.push_back({match[1].matched ? std::stoll(match[1]) : 0, std::stoi(match[2]),
                          std::stoll(match[3])});
    }
    return served;
}

// An error status leaves the archive as it was, a 200 replaces it, a 206
// extends it; every request resumes from what the archive holds.
void expectResumedFromTheArchiveSize(const std::vector<Served>& served, Ranges ranges) {
    std::int64_t held = 0;
    for (size_t i = 0; i < served.size(); ++i) {
        if (ranges == Ranges::Exact) {
            EXPECT_EQ(served[i].from, held) << "request " << i;
        } else {
            EXPECT_LE(served[i].from, held) << "request " << i;
        }
        if (ranges == Ranges::Growing && i > 0) {
            EXPECT_GT(served[i].from, served[i - 1].from) << "request " << i;
        }
        // libcurl refuses a 200 to a resumed request before its body, and the
        // archive then starts again from nothing.
        held = served[i].status == 200   ? (served[i].from == 0 ? served[i].sent : 0)
               : served[i].status == 206 ? held + served[i].sent
                                         : held;
    }
    EXPECT_TRUE(ranges != Ranges::Growing || served.size() >= 3) << served.size();
}

class DownloadFault : public testsupport::IsolatedTest,
                      public ::testing::WithParamInterface<FaultRow> {};

TEST_P(DownloadFault, EndsInstalledOrFailedWithNothingRegistered) {
    const FaultRow& row = GetParam();
    Package package = faulttest::makePackage(env.root, row.payload);
    BackendProcess backend(env.root, package.path, 0, row.faults);
    ASSERT_TRUE(backend.ready()) << backend.log();

    InstallerContext context;
    context.apiBaseUrl = backend.url();
    std::string product = productFolderFor(env.root + "/install");
    std::filesystem::create_directories(product);
    testsupport::writeFile(archivePathFor(product), "left by an earlier run");
    faulttest::RunRecord record;
    std::string url = row.scheme + backend.url().substr(4) + row.path;
    InstallOutcome outcome = faulttest::runInstall(
        context, product, url, DownloadTiming{row.slice, 5ms, row.attempts}, record);
    // The backend logs a request once its answer has gone out, which may be
    // a moment after the installer has it.
    std::vector<Served> served = packageRequests(backend.log());
    for (int wait = 0; wait < 100 && int(served.size()) < row.packageRequests; ++wait) {
        std::this_thread::sleep_for(20ms);
        served = packageRequests(backend.log());
    }
    expectResumedFromTheArchiveSize(served, row.ranges);
    EXPECT_TRUE(row.packageRequests < 0 || served.size() == size_t(row.packageRequests))
        << served.size() << " package requests";
    // Percentages only once package bytes of a known total arrived, rising
    // unless the file restarted.
    const std::vector<int>& percents = record.percents;
    bool sizeKnown = std::count(row.faults.begin(), row.faults.end(), "--no-length") == 0;
    bool restarts = std::count(row.faults.begin(), row.faults.end(), "--ignore-range") > 0;
    bool bytesArrived = row.ends == kInstalled || !readFile(archivePathFor(product)).empty();
    EXPECT_TRUE(restarts || (bytesArrived && sizeKnown) || percents.empty());
    EXPECT_TRUE(restarts || std::is_sorted(percents.begin(), percents.end(), std::less_equal<>()));
    EXPECT_EQ(outcome.failure, row.ends) << failureReason(outcome) << "\n" << backend.log();
    if (row.ends == kInstalled) {
        EXPECT_EQ(record.finished, 1);
        EXPECT_TRUE(!sizeKnown || (!percents.empty() && percents.back() == 100));
        faulttest::expectInstalled(product, package);
        EXPECT_EQ(backend.eventNames(), std::vector<std::string>{"pc_install_success"});
    } else {
        ASSERT_EQ(record.failures.size(), 1u);
        EXPECT_EQ(record.failures[0].failure, row.ends);
        faulttest::expectDownloadFailedCleanly(product, env.desktop, package);
        EXPECT_TRUE(backend.eventNames().empty());
    }
    if (row.path == "/loop") {
        size_t loops = 0;
        std::string log = backend.log();
        for (size_t at = log.find("GET /loop"); at != std::string::npos;
             at = log.find("GET /loop", at + 1)) {
            ++loops;
        }
        EXPECT_LE(loops, 5u * 11u);
        EXPECT_GE(loops, 5u);
    }
    if (row.ends == InstallFailure::PackageUnavailable) {
        EXPECT_EQ(outcome.httpStatus, 404);
        EXPECT_NE(failurePageText(outcome).find("404"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, DownloadFault, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<FaultRow>& row) {
                             return std::string(row.param.name);
                         });

// A resumed request at or past the end of the package gets the backend's 416
// with "bytes */SIZE": done when the file already holds exactly the package,
// a failure (and no byte written) when it holds more.
TEST(CompleteFile, RangeNotSatisfiableIsDoneOnlyWhenTheSizeMatches) {
    testsupport::TempEnvironment env;
    Package package = faulttest::makePackage(env.root, 20000);
    BackendProcess backend(env.root, package.path, 0);
    ASSERT_TRUE(backend.ready());
    DownloadRequest request;
    request.url = backend.url() + kPackagePath;
    request.timing = DownloadTiming{5s, 5ms, 1};
    for (const std::string& onDisk : {package.bytes, package.bytes + "x"}) {
        std::string archive = env.root + "/archive.rar";
        testsupport::writeFile(archive, onDisk);
        DownloadState download(request);
        download.archive = platform::openFileForAppend(archive);
        EXPECT_EQ(transferOnce(download).done, onDisk == package.bytes) << onDisk.size();
        platform::closeFile(download.archive);
        EXPECT_TRUE(readFile(archive) == onDisk);
    }
    EXPECT_TRUE(backend.logHas("status=416"));
}

}  // namespace
