// The install engine against the real hobnar-backend with one network fault
// at a time: every case ends either installed from a byte-identical archive
// or with the download failed and nothing registered.  The backend listens
// on a port of its own; DownloadTiming shortens the slice and the pause and
// bounds the attempts, so each case takes a few seconds at most.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>

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

class CurlEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { curl_global_init(CURL_GLOBAL_ALL); }
    void TearDown() override { curl_global_cleanup(); }
};
[[maybe_unused]] ::testing::Environment* const curlEnvironment =
    ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

// Sizes around the backend's 64 KiB send chunks.
constexpr std::size_t kLarge = 300 * 1024 + 77;

struct FaultRow {
    const char* name;
    std::vector<std::string> faults;
    bool installs;
    int attempts = 20;
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
    {"DropAfterOneByteSmallPackage", {"--drop-after", "1"}, true, 1000, 10s, 0},
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
     10s,
     kLarge,
     kRedirected},
    // Attempts end at the slice; the next one resumes where the file ends.
    {"ThrottledPastTheSlice", {"--bandwidth", "250000"}, true, 20, 400ms},
    {"StallWithinTheSlice", {"--stall", "0.3", "--stall-path", kPackagePath}, true, 2},
    {"StallPastTheSlice", {"--stall", "5", "--stall-path", kPackagePath}, false, 2, 300ms},
};

class DownloadFault : public testsupport::IsolatedTest,
                      public ::testing::WithParamInterface<FaultRow> {};

TEST_P(DownloadFault, EndsInstalledOrFailedWithNothingRegistered) {
    const FaultRow& row = GetParam();
    lastReportedPercent = 0;
    Package package = faulttest::makePackage(env.root, row.payload);
    BackendProcess backend(env.root, package.path, 0, row.faults);
    ASSERT_TRUE(backend.ready()) << readFile(env.root + "/backend.err");

    InstallerContext context;
    context.apiBaseUrl = backend.url();
    context.packageUrl = backend.url() + row.path;
    std::string product = productFolderFor(env.root + "/install");
    ASSERT_TRUE(createProductFolder(product));
    context.setInstallDir(product);
    std::string archiveWhenComplete;
    ExtractResult extracted;
    bool completed = false;
    context.downloadDoneCallback = [&] {
        archiveWhenComplete = readFile(archivePathFor(product));
        extracted = completeInstallation(context, product, mainExecutableIn(product));
        completed = true;
    };

    bool downloaded = downloadPackage(context, DownloadTiming{row.slice, 5ms, row.attempts});
    if (row.installs) {
        ASSERT_TRUE(downloaded && completed) << readFile(env.root + "/backend.err");
        EXPECT_TRUE(archiveWhenComplete == package.bytes)
            << archiveWhenComplete.size() << " bytes instead of " << package.bytes.size();
        EXPECT_TRUE(extracted.ok()) << describeExtractStatus(extracted.status);
        faulttest::expectInstalled(product, package);
    } else {
        EXPECT_FALSE(downloaded);
        EXPECT_FALSE(completed);
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
    EXPECT_NE(readFile(env.root + "/backend.err").find("status=416"), std::string::npos);
}

}  // namespace
