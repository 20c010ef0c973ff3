// The real unattended installer against the real backend on the test port
// the program is built with: killed in the middle of the download and started
// again, and faults the program must come through or refuse cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <ostream>
#include <thread>

#include "install/install.h"
#include "tests/faults/fault_package.h"
#include "tests/support/backend_process.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

namespace {

using faulttest::kPackagePath;
using faulttest::Package;
using testsupport::BackendProcess;
using testsupport::ChildProcess;
using testsupport::readFile;

const int kTestPort = 18080;

class SilentFaults : public testsupport::IsolatedTest {
  protected:
    std::unique_ptr<ChildProcess> startInstaller() {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{HOBNAR_SETUP_PROGRAM, "--silent", "dev"},
            env.root + "/setup.out", env.root + "/setup.err");
    }
    int runInstaller() { return startInstaller()->wait(120); }
    std::string product() const { return env.dataHome + "/win-ia32-unpacked"; }
    std::string errors() const { return readFile(env.root + "/setup.err"); }
};

TEST_F(SilentFaults, KilledDuringTheDownloadThenStartedAgainInstalls) {
    Package package = faulttest::makePackage(env.root, 600 * 1024);
    BackendProcess backend(env.root, package.path, kTestPort, {"--bandwidth", "300000"});
    ASSERT_TRUE(backend.ready());

    auto setup = startInstaller();
    std::string archive = archivePathFor(product());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code ec;
    while (std::filesystem::file_size(archive, ec) < 100 * 1024 && setup->running() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    setup->kill(SIGKILL);
    ASSERT_EQ(setup->wait(30), 128 + SIGKILL) << "the download ended before it was killed";
    std::string partial = readFile(archive);
    EXPECT_LT(partial.size(), package.bytes.size());
    faulttest::expectDownloadFailedCleanly(product(), env.desktop, package);

    ASSERT_EQ(runInstaller(), 0) << errors();
    faulttest::expectInstalled(product(), package);
    std::vector<std::string> events = backend.eventNames();
    EXPECT_EQ(std::count(events.begin(), events.end(), "pc_install_success"), 1);
}

struct ProgramRow {
    const char* name;
    std::vector<std::string> faults;
    int exitCode;
    const char* reason;  // part of the line on standard error
};

// Test names in CTest carry the row's name, not its bytes.
void PrintTo(const ProgramRow& row, std::ostream* out) {
    *out << row.name;
}

const std::string kInstallInfo = "/v1/app/client/getInstallInfo";

const ProgramRow kProgramRows[] = {
    {"ServerErrorsAndDrops", {"--fail-first", "2:503", "--drop-after", "150000"}, 0, ""},
    {"InstallInfoUnavailable", {"--status", kInstallInfo + "=503"}, 2, "did not answer"},
    {"InstallInfoMalformed",
     {"--reply", kInstallInfo + "={\"success\":\"1\",\"obj\":{\"size\":7}}"},
     2,
     "did not answer"},
};

class SilentProgramFault : public SilentFaults, public ::testing::WithParamInterface<ProgramRow> {};

TEST_P(SilentProgramFault, ExitsWithItsStatusAndInstallsOnlyOnSuccess) {
    const ProgramRow& row = GetParam();
    Package package = faulttest::makePackage(env.root, 400 * 1024);
    BackendProcess backend(env.root, package.path, kTestPort, row.faults);
    ASSERT_TRUE(backend.ready());
    ASSERT_EQ(runInstaller(), row.exitCode) << errors();
    EXPECT_NE(errors().find(row.reason), std::string::npos) << errors();
    if (row.exitCode == 0) {
        faulttest::expectInstalled(product(), package);
    } else {
        faulttest::expectDownloadFailedCleanly(product(), env.desktop, package);
    }
}

INSTANTIATE_TEST_SUITE_P(Program, SilentProgramFault, ::testing::ValuesIn(kProgramRows),
                         [](const ::testing::TestParamInfo<ProgramRow>& row) {
                             return std::string(row.param.name);
                         });

}  // namespace
