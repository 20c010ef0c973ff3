// A disk that fills up under the installer, during the download or during
// the extraction: the run fails with nothing registered, and once there is
// room again a new run installs from a byte-identical archive.
//
// The small disk is a real tmpfs of a few hundred KiB, mounted in a private
// mount namespace of this test process (so it disappears with the process
// and nobody else sees it); writes past its end fail with ENOSPC.  Where the
// process may not mount (no CAP_SYS_ADMIN), the file-size limit RLIMIT_FSIZE
// stands in: with SIGXFSZ ignored, a write past it fails with EFBIG, which
// reaches the installer through the same failed write.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <ostream>

#include "install/install.h"
#include "tests/faults/fault_package.h"
#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace {

using faulttest::kPackagePath;
using faulttest::Package;
using faulttest::Payload;
using testsupport::BackendProcess;
using testsupport::readFile;
using namespace std::chrono_literals;

class SmallDisk {
  public:
    // Makes `folder` a place that holds about `bytes`.
    SmallDisk(const std::string& folder, std::size_t bytes) : m_folder(folder) {
        std::filesystem::create_directories(folder);
        m_mounted = ::unshare(CLONE_NEWNS) == 0 &&
                    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                    ::mount("tmpfs", folder.c_str(), "tmpfs", 0, sizeOption(bytes).c_str()) == 0;
        if (!m_mounted) {
            ::signal(SIGXFSZ, SIG_IGN);
            ::getrlimit(RLIMIT_FSIZE, &m_saved);
            rlimit small = m_saved;
            small.rlim_cur = bytes;
            m_limited = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
        }
    }
    ~SmallDisk() {
        if (m_mounted) {
            ::umount2(m_folder.c_str(), MNT_DETACH);
        }
        grow(0);
    }
    bool ready() const { return m_mounted || m_limited; }
    const char* kind() const { return m_mounted ? "tmpfs" : "RLIMIT_FSIZE"; }
    // Room again: a larger tmpfs, or the file-size limit lifted.
    void grow(std::size_t bytes) {
        if (m_mounted && bytes > 0) {
            ::mount("tmpfs", m_folder.c_str(), "tmpfs", MS_REMOUNT, sizeOption(bytes).c_str());
        } else if (m_limited) {
            ::setrlimit(RLIMIT_FSIZE, &m_saved);
            m_limited = false;
        }
    }

  private:
    static std::string sizeOption(std::size_t bytes) { return "size=" + std::to_string(bytes); }

    std::string m_folder;
    bool m_mounted = false;
    bool m_limited = false;
    rlimit m_saved{};
};

struct DiskRow {
    const char* name;
    std::size_t payload;
    Payload kind;
    std::size_t diskBytes;
    bool downloadFits;  // the archive fits, the unpacked files do not
};

// Test names in CTest carry the row's name, not its bytes.
void PrintTo(const DiskRow& row, std::ostream* out) {
    *out << row.name;
}

const DiskRow kRows[] = {
    {"FullDuringTheDownload", 400 * 1024, Payload::Random, 160 * 1024, false},
    {"FullDuringTheExtraction", 1024 * 1024, Payload::Zeros, 512 * 1024, true},
};

class DiskFull : public testsupport::IsolatedTest, public ::testing::WithParamInterface<DiskRow> {};

TEST_P(DiskFull, FailsWithNothingRegisteredThenInstallsWhenThereIsRoom) {
    const DiskRow& row = GetParam();
    Package package = faulttest::makePackage(env.root, row.payload, row.kind);
    ASSERT_TRUE(row.downloadFits ? package.bytes.size() < row.diskBytes
                                 : package.bytes.size() > row.diskBytes);
    // Started before the disk shrinks: the backend's own files stay out of it.
    BackendProcess backend(env.root, package.path, 0);
    ASSERT_TRUE(backend.ready());
    InstallerContext context;
    context.apiBaseUrl = backend.url();
    std::string installFolder = env.root + "/small disk";
    std::string product = productFolderFor(installFolder);
    std::string url = backend.url() + kPackagePath;

    SmallDisk disk(installFolder, row.diskBytes);
    ASSERT_TRUE(disk.ready());
    std::cout << "small disk: " << disk.kind() << std::endl;
    RecordProperty("small_disk", disk.kind());
    const DownloadTiming timing{10s, 5ms, 3};

    // A full disk is said as such, at once (one attempt, not the whole
    // schedule), and leaves neither the partial archive nor unpacked files.
    faulttest::RunRecord failed;
    InstallOutcome outcome = faulttest::runInstall(context, product, url, timing, failed);
    // Under the file-size limit the volume itself still has room, so an
    // unpacked file that hits the limit reads as one that cannot be written.
    bool unpackReadsFull = row.downloadFits && std::string(disk.kind()) == "tmpfs";
    EXPECT_EQ(outcome.failure, row.downloadFits && !unpackReadsFull ? InstallFailure::NotWritable
                                                                    : InstallFailure::DiskFull)
        << failureReason(outcome);
    EXPECT_EQ(outcome.detail, row.downloadFits ? "payload.bin" : url);
    faulttest::expectDownloadFailedCleanly(product, env.desktop, package);
    EXPECT_FALSE(std::filesystem::exists(archivePathFor(product)));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(installFolder),
                            std::filesystem::directory_iterator()),
              2)
        << "only the product folder and its lock file";
    EXPECT_TRUE(backend.logHas(std::string("GET ") + kPackagePath));
    std::string log = backend.log();
    size_t requests = 0;
    for (size_t at = log.find(std::string("GET ") + kPackagePath); at != std::string::npos;
         at = log.find(std::string("GET ") + kPackagePath, at + 1)) {
        ++requests;
    }
    EXPECT_EQ(requests, 1u) << "no retry on a full disk";

    disk.grow(8 * 1024 * 1024);
    faulttest::RunRecord installed;
    outcome = faulttest::runInstall(context, product, url, timing, installed);
    EXPECT_TRUE(outcome.ok()) << failureReason(outcome);
    faulttest::expectInstalled(product, package);
}

INSTANTIATE_TEST_SUITE_P(Disk, DiskFull, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<DiskRow>& row) {
                             return std::string(row.param.name);
                         });

}  // namespace
