// The install engine against the real hobnar-backend (on a port of its own)
// with one network fault at a time: every case ends either installed from a
// byte-identical archive or with the download failed and nothing registered.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "install/download.h"
#include "tests/faults/fault_package.h"
#include "tests/support/backend_process.h"

namespace {

using faulttest::kPackagePath;
using faulttest::Package;
using testsupport::BackendProcess;
using testsupport::readFile;

using namespace install;
using namespace std::chrono_literals;

// Sizes around the backend's 64 KiB send chunks.
constexpr std::size_t kLarge = 300 * 1024 + 77;
constexpr InstallFailure kInstalled = InstallFailure::None;
constexpr InstallFailure kGaveUp = InstallFailure::DownloadFailed;

struct FaultRow {
    const char* name;
    std::vector<std::string> faults;
    InstallFailure ends;
    int attempts = 20;
    std::chrono::milliseconds slice = 10s;
    std::size_t payload = kLarge;
    std::string path = kPackagePath;  // what the installer asks for
    std::int64_t announced = -1;      // the size the install information gave
};

void PrintTo(const FaultRow& row, std::ostream* out) {
    *out << row.name;
}

const FaultRow kRows[] = {
    // Each request gets at most N more body bytes before the connection closes.
    {"DropAfterOneByteSmallPackage", {"--drop-after", "1"}, kInstalled, 1000, 10s, 0},
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
    // A honoured range answered with 200 (as some proxies do) continues the file.
    {"RangeAnsweredWith200AndDrops", {"--range-as-200", "--drop-after", "65536"}, kInstalled, 8},
    {"NoLengthAndDrops", {"--no-length", "--drop-after", "100000"}, kInstalled},
    {"ServerErrorBurst", {"--fail-first", "3:503"}, kInstalled, 10},
    {"ServerErrorBurstAndDrops", {"--fail-first", "2:502", "--drop-after", "120000"}, kInstalled},
    {"ServerErrorsOutlastTheAttempts", {"--fail-first", "10:500"}, kGaveUp, 4},
    // Answers that another attempt will not change end the download after
    // five in a row; a busy server (429) is waited out however long it takes.
    {"PackageMissingEndsAfterFiveAnswers",
     {"--status", std::string(kPackagePath) + "=404"},
     InstallFailure::PackageUnavailable,
     50},
    {"TooManyRequestsBurstIsWaitedOut", {"--fail-first", "7:429"}, kInstalled, 10},
    {"RedirectAndDrops",
     {"--redirect", std::string("/moved/package.rar=") + kPackagePath, "--drop-after", "100000"},
     kInstalled,
     20,
     10s,
     kLarge,
     "/moved/package.rar"},
    // Attempts end at the slice; the next one resumes where the file ends.
    {"ThrottledPastTheSlice", {"--bandwidth", "250000"}, kInstalled, 20, 400ms},
    {"StallWithinTheSlice", {"--stall", "0.3", "--stall-path", kPackagePath}, kInstalled, 2},
    {"StallPastTheSlice", {"--stall", "5", "--stall-path", kPackagePath}, kGaveUp, 2, 300ms},
    // The server sends more than was announced: the archive stops there.
    {"MoreThanTheAnnouncedSize",
     {},
     InstallFailure::PackageTooLarge,
     20,
     10s,
     kLarge,
     kPackagePath,
     100000},
};

class DownloadFault : public testsupport::IsolatedTest,
                      public ::testing::WithParamInterface<FaultRow> {};

TEST_P(DownloadFault, EndsInstalledOrFailedWithNothingRegistered) {
    const FaultRow& row = GetParam();
    Package package = faulttest::makePackage(env.root, row.payload);
    BackendProcess backend(env.root, package.path, 0, row.faults);
    ASSERT_TRUE(backend.ready()) << backend.log();
    std::string product = productFolderFor(env.root + "/install");
    std::filesystem::create_directories(product);
    testsupport::writeFile(archivePathFor(product), "left by an earlier run");
    faulttest::RunResult run = faulttest::runInstall(backend.url() + row.path, product,
                                                     {row.slice, 5ms, row.attempts}, row.announced);
    const InstallOutcome& outcome = run.outcome;
    const std::vector<int>& percents = run.percents;
    EXPECT_EQ(outcome.failure, row.ends) << failureReason(outcome) << "\n" << backend.log();

    // An error status leaves the archive as it was, a 200 replaces it, a 206
    // extends it; every request resumes from what the archive holds.  Where
    // the installer ended an attempt at the slice, bytes the backend counted
    // as sent may never have reached the archive.
    bool cutShort = row.slice < 10s || row.announced >= 0;
    EXPECT_LE(readFile(archivePathFor(product)).size(), static_cast<size_t>(row.announced))
        << "more than the announced size was written";
    std::vector<faulttest::Served> served = faulttest::packageRequests(backend.log());
    bool rangeKept = std::count(row.faults.begin(), row.faults.end(), "--range-as-200") > 0;
    std::int64_t held = 0;
    for (size_t i = 0; i < served.size(); ++i) {
        EXPECT_TRUE(cutShort ? served[i].from <= held : served[i].from == held) << "request " << i;
        // libcurl refuses a 200 to a resumed request before its body, and the
        // archive then starts again from nothing, unless its Content-Range
        // says it continues the file.
        held = served[i].status == 200   ? (served[i].from == 0 ? served[i].sent
                                            : rangeKept         ? held + served[i].sent
                                                                : 0)
               : served[i].status == 206 ? held + served[i].sent
                                         : held;
    }
    // Percentages only once package bytes of a known total arrived, rising
    // unless the file restarted.
    bool sizeKnown = std::count(row.faults.begin(), row.faults.end(), "--no-length") == 0;
    bool restarts = std::count(row.faults.begin(), row.faults.end(), "--ignore-range") > 0;
    bool bytesArrived = row.ends == kInstalled || !readFile(archivePathFor(product)).empty();
    EXPECT_TRUE(restarts || (bytesArrived && sizeKnown) || percents.empty());
    EXPECT_TRUE(restarts || std::is_sorted(percents.begin(), percents.end(), std::less_equal<>()));
    if (row.ends == kInstalled) {
        EXPECT_TRUE(!sizeKnown || (!percents.empty() && percents.back() == 100));
        faulttest::expectInstalled(product, package);
        EXPECT_EQ(run.events, std::vector<std::string>{"pc_install_success"});
        return;
    }
    faulttest::expectDownloadFailedCleanly(product, env.desktop, package);
    EXPECT_TRUE(run.events.empty());
    if (row.ends == InstallFailure::PackageUnavailable) {
        // The backend logs an answer once it has gone out.
        for (int wait = 0; wait < 100 && faulttest::packageRequests(backend.log()).size() < 5;
             ++wait) {
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_EQ(faulttest::packageRequests(backend.log()).size(), 5u);
        EXPECT_NE(failurePageText(outcome).find("HTTP 404"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, DownloadFault, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<FaultRow>& row) {
                             return std::string(row.param.name);
                         });

// Addresses no other attempt can fix: other protocols and line breaks end at
// once; a redirect loop and TLS asked of a plain server after five attempts,
// each of at most eleven requests.  None of them reaches the package, and a
// failed handshake is told as such, not as a bad address.
TEST(RefusedAddress, EndsTheDownloadWithoutAPackageRequest) {
    testsupport::TempEnvironment env;
    Package package = faulttest::makePackage(env.root, 2000);
    BackendProcess backend(env.root, package.path, 0, {"--redirect", "/loop=/loop"});
    ASSERT_TRUE(backend.ready());
    std::string server = backend.url().substr(4);  // "://127.0.0.1:PORT"
    const std::pair<std::string, InstallFailure> rows[] = {
        {"http" + server + "/loop", InstallFailure::AddressRefused},
        {"https" + server + kPackagePath, InstallFailure::SecureConnectionFailed},
        {"gopher" + server + "/_QUIT%0D%0AHELO", InstallFailure::AddressRefused},
        {backend.url() + kPackagePath + "\r\nX-Injected: 1", InstallFailure::AddressRefused},
    };
    for (const auto& [url, failure] : rows) {
        std::string product = productFolderFor(env.root + "/install");
        faulttest::RunResult run = faulttest::runInstall(url, product, {10s, 5ms, 50});
        EXPECT_EQ(run.outcome.failure, failure) << url;
        EXPECT_TRUE(run.events.empty());
        faulttest::expectDownloadFailedCleanly(product, env.desktop, package);
    }
    EXPECT_GE(backend.requests("GET /loop"), 5);
    EXPECT_LE(backend.requests("GET /loop"), 5 * 11);
    EXPECT_EQ(backend.requests(std::string("GET ") + kPackagePath), 0);
}

// The whole digest counts: one wrong in its last digit installs nothing.
TEST(Digest, EveryDigitCounts) {
    testsupport::TempEnvironment env;
    Package package = faulttest::makePackage(env.root, 2000);
    BackendProcess backend(env.root, package.path, 0);
    ASSERT_TRUE(backend.ready());
    platform::Sha256 sha256;
    sha256.add(package.bytes.data(), package.bytes.size());
    std::string digest = sha256.hex(), wrong = digest;
    wrong.back() = wrong.back() == '0' ? '1' : '0';
    for (const auto& [announced, ends] :
         {std::pair{wrong, InstallFailure::DigestMismatch}, {digest, InstallFailure::None}}) {
        faulttest::RunResult run =
            faulttest::runInstall(backend.url() + kPackagePath, productFolderFor(env.root),
                                  faulttest::kShortTiming, -1, announced);
        EXPECT_EQ(run.outcome.failure, ends) << failureReason(run.outcome);
    }
}

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
    request.archivePath = env.root + "/archive.rar";
    request.timing = {10s, 5ms, 1};
    request.resume = true;
    request.identity = "the package\n";
    for (const std::string& onDisk : {package.bytes, package.bytes + "x"}) {
        testsupport::writeFile(request.archivePath, onDisk);
        testsupport::writeFile(downloadRecordPath(request.archivePath), request.identity);
        EXPECT_EQ(downloadPackage(request).outcome.ok(), onDisk == package.bytes) << onDisk.size();
        EXPECT_TRUE(readFile(request.archivePath) == onDisk);
    }
    EXPECT_TRUE(backend.logHas("status=416"));
}

}  // namespace
