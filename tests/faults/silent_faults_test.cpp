// The real unattended installer against the real backend on the test port
// the program is built with: killed in the middle of the download and started
// again.  Its refusals (no backend, a damaged package) are tests/app's.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "install/install.h"
#include "tests/faults/fault_package.h"
#include "tests/support/backend_process.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

namespace {

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
    std::string product() const { return env.dataHome + "/win-ia32-unpacked"; }
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

    ASSERT_EQ(startInstaller()->wait(120), 0) << readFile(env.root + "/setup.err");
    faulttest::expectInstalled(product(), package);
    std::vector<std::string> events = backend.eventNames();
    EXPECT_EQ(std::count(events.begin(), events.end(), "pc_install_success"), 1);
}

}  // namespace
