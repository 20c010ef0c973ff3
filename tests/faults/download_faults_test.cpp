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

#include "install/install.h"
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
    bool installs;
    int attempts = 20;
    Ranges ranges = Ranges::Exact;
    std::chrono::milliseconds slice = 10s;
    std::size_t payload = kLarge;
    std::string path = kPackagePath;  // what the installer asks for
};

// Test names in CTest carry the row's name, not its bytes.
void PrintTo(const FaultRow& row, std::ostream* out) {
    *out << row.name;
}

const std::string kRedirected = "/moved/package.rar";

const FaultRow kRows[] = {
    {"NoFault", {}, true, 1},
    // Each request gets at most N more body bytes before the connection closes.
    {"DropAfterOneByteSmallPackage", {"--drop-after", "1"}, true, 1000, Ranges::Exact, 10s, 0},
    {"DropAfterOneByteTooFewAttempts", {"--drop-after", "1"}, false, 5},
    {"DropAfterNothing", {"--drop-after", "0"}, false, 4},
    {"DropAfterChunkMinusOne", {"--drop-after", "65535"}, true},
    {"DropAfterOneChunk", {"--drop-after", "65536"}, true},
    {"DropAfterChunkPlusOne", {"--drop-after", "65537"}, true},
    {"DropAfterTwoChunks", {"--drop-after", "131072"}, true},
    {"DropAfterOddSize", {"--drop-after", "99991"}, true},
    {"DropShortlyBeforeTheEnd", {"--drop-after", std::to_string(kLarge + 100)}, true},
    // A 200 to a resumed request empties the file and starts again.
    {"IgnoreRange", {"--ignore-range"}, true, 3},
    {"IgnoreRangeAndDrops", {"--ignore-range", "--drop-after", "65536"}, false, 6},
    {"NoLengthAndDrops", {"--no-length", "--drop-after", "100000"}, true},
    {"ServerErrorBurst", {"--fail-first", "3:503"}, true, 10},
    {"ServerErrorBurstAndDrops", {"--fail-first", "2:502", "--drop-after", "120000"}, true},
    {"ServerErrorsOutlastTheAttempts", {"--fail-first", "10:500"}, false, 4},
    {"PackageMissing", {"--status", std::string(kPackagePath) + "=404"}, false, 3},
    {"RedirectAndDrops",
     {"--redirect", kRedirected + "=" + kPackagePath, "--drop-after", "100000"},
     true,
     20,
     Ranges::Exact,
     10s,
     kLarge,
     kRedirected},
    // Attempts end at the slice; the next one resumes where the file ends.
    {"ThrottledPastTheSlice", {"--bandwidth", "250000"}, true, 20, Ranges::Growing, 400ms},
    {"StallWithinTheSlice",
     {"--stall", "0.3", "--stall-path", kPackagePath},
     true,
     2,
     Ranges::AtMost},
    {"StallPastTheSlice",
     {"--stall", "5", "--stall-path", kPackagePath},
     false,
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
    lastReportedPercent = 0;
    Package package = faulttest::makePackage(env.root, row.payload);
    BackendProcess backend(env.root, package.path, 0, row.faults);
    ASSERT_TRUE(backend.ready()) << backend.log();

    InstallerContext context;
    context.apiBaseUrl = backend.url();
    context.packageUrl = backend.url() + row.path;
    std::string product = productFolderFor(env.root + "/install");
    ASSERT_TRUE(createProductFolder(product));
    context.setInstallDir(product);
    testsupport::writeFile(archivePathFor(product), "left by an earlier run");
    int windowToken = 0;
    context.mainWindow = &windowToken;
    std::vector<double> percents;
    context.progressCallback = [&](double percent, void* window) {
        percents.push_back(percent);
        EXPECT_EQ(window, &windowToken);
    };
    std::string archiveWhenComplete;
    ExtractResult extracted;
    int completions = 0;
    context.downloadDoneCallback = [&] {
        archiveWhenComplete = readFile(archivePathFor(product));
        extracted = completeInstallation(context, product, mainExecutableIn(product));
        ++completions;
    };

    bool downloaded = downloadPackage(context, DownloadTiming{row.slice, 5ms, row.attempts});
    expectResumedFromTheArchiveSize(packageRequests(backend.log()), row.ranges);
    // Percentages only once package bytes of a known total arrived, rising
    // unless the file restarted.
    bool sizeKnown = std::count(row.faults.begin(), row.faults.end(), "--no-length") == 0;
    bool restarts = std::count(row.faults.begin(), row.faults.end(), "--ignore-range") > 0;
    bool bytesArrived = row.installs || !readFile(archivePathFor(product)).empty();
    EXPECT_TRUE(restarts || (bytesArrived && sizeKnown) || percents.empty());
    EXPECT_TRUE(restarts || std::is_sorted(percents.begin(), percents.end(), std::less_equal<>()));
    if (row.installs) {
        ASSERT_TRUE(downloaded && completions == 1) << backend.log();
        EXPECT_TRUE(!sizeKnown || (!percents.empty() && percents.back() == 100.0));
        EXPECT_TRUE(archiveWhenComplete == package.bytes)
            << archiveWhenComplete.size() << " bytes instead of " << package.bytes.size();
        EXPECT_TRUE(extracted.ok()) << describeExtractStatus(extracted.status);
        faulttest::expectInstalled(product, package);
    } else {
        EXPECT_FALSE(downloaded);
        EXPECT_EQ(completions, 0);
        faulttest::expectDownloadFailedCleanly(product, env.desktop, package);
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
    InstallerContext context;
    context.packageUrl = backend.url() + kPackagePath;
    const struct {
        std::string onDisk;
        bool done;
    } rows[] = {{package.bytes, true}, {package.bytes + "x", false}};
    for (const auto& row : rows) {
        std::string archive = env.root + "/archive.rar";
        testsupport::writeFile(archive, row.onDisk);
        platform::FileHandle file = platform::openFileForAppend(archive);
        EXPECT_EQ(transferOnce(context, file, DownloadTiming{5s, 5ms, 1}), row.done)
            << row.onDisk.size();
        platform::closeFile(file);
        EXPECT_TRUE(readFile(archive) == row.onDisk);
    }
    EXPECT_TRUE(backend.logHas("status=416"));
}

}  // namespace
