// Another user of the machine against a run by root: `nobody` prepares what
// it can in a shared install folder (mode 1777) before root installs there.
// Every row ends with nothing of nobody's used or changed, nothing written
// outside the folder, and the run's documented end.  Root only.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "install/install.h"
#include "tests/faults/fault_package.h"
#include "tests/support/backend_process.h"
#include "tests/support/child_process.h"

namespace {

namespace fs = std::filesystem;
using namespace install;
using testsupport::readFile;

struct CoUser;
struct CoUserRow {
    const char* name;
    std::function<void(CoUser&)> plant;  // nobody's doing, before the run
    InstallFailure ends;
    const char* below = "";  // the install folder below the shared one
};

void PrintTo(const CoUserRow& row, std::ostream* out) {
    *out << row.name;
}

struct CoUser : testsupport::IsolatedTest, ::testing::WithParamInterface<CoUserRow> {
    void SetUp() override {
        if (::geteuid() != 0 || runTool({"id", "nobody"}).exitCode != 0) {
            GTEST_SKIP() << "needs root and the user nobody";
        }
        fs::permissions(env.root, fs::perms(0755));
        fs::create_directories(shared);
        fs::permissions(shared, fs::perms(01777));
        fs::create_directories(outside);
    }
    // `argv` run as nobody; true when it succeeded.
    static bool asNobody(std::vector<std::string> argv) {
        argv.insert(argv.begin(),
                    {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
        return runTool(argv).exitCode == 0;
    }
    static testsupport::ToolRun runTool(const std::vector<std::string>& argv) {
        return testsupport::runTool(argv);
    }
    std::string shared = env.root + "/shared";
    std::string product = shared + "/win-ia32-unpacked";
    std::string outside = env.root + "/outside";
    std::string evil = env.root + "/evil.rar";  // a package of nobody's
};

const CoUserRow kRows[] = {
    // The archive and its record once lay beside the product folder: what
    // nobody plants there now is never read.
    {"APlantedPartialArchiveIsNotContinued",
     [](CoUser& t) {
         ASSERT_TRUE(CoUser::asNobody({"cp", t.evil, t.product + ".rar"}));
     },
     InstallFailure::None},
    {"AProductFolderOfAnotherUserIsNotMergedInto",
     [](CoUser& t) {
         ASSERT_TRUE(CoUser::asNobody({"mkdir", t.product}));
     },
     InstallFailure::ForeignFile},
    {"ALinkOfAnotherUserAsTheProductFolderIsNotFollowed",
     [](CoUser& t) {
         ASSERT_TRUE(CoUser::asNobody({"ln", "-s", t.outside, t.product}));
     },
     InstallFailure::ForeignFile},
    {"ALockOfAnotherUserIsRefused",
     [](CoUser& t) {
         ASSERT_TRUE(CoUser::asNobody({"touch", t.product + ".lock"}));
     },
     InstallFailure::ForeignFile},
    {"AFifoAsTheLockDoesNotHangTheRun",
     [](CoUser& t) {
         ASSERT_TRUE(CoUser::asNobody({"mkfifo", t.product + ".lock"}));
     },
     InstallFailure::ForeignFile},
    // A link on the way: nothing is made through it.
    {"ALinkOnTheWayToTheInstallFolderIsNotFollowed",
     [](CoUser& t) {
         ASSERT_TRUE(CoUser::asNobody({"ln", "-s", t.outside, t.shared + "/sub"}));
     },
     InstallFailure::ForeignFile, "/sub/apps"},
    {"AnInstallFolderOfAnotherUserIsRefused",
     [](CoUser& t) {
         fs::permissions(t.shared, fs::perms(0755));
         ASSERT_EQ(CoUser::runTool({"chown", "nobody", t.shared}).exitCode, 0);
     },
     InstallFailure::ForeignFile},
};

TEST_P(CoUser, NothingOfTheCoUserIsUsedOrChanged) {
    const CoUserRow& row = GetParam();
    // The package holds a setuid program and a world-writable setgid file.
    std::string source = env.root + "/source";
    testsupport::writeFile(source + "/hobnarAudio.exe", "#!/bin/sh\n");
    testsupport::writeFile(source + "/data.bin", "data");
    fs::permissions(source + "/hobnarAudio.exe", fs::perms(04777));
    fs::permissions(source + "/data.bin", fs::perms(02666));
    std::string package = env.root + "/package.rar";
    ASSERT_EQ(runTool({"rar", "a", "-idq", "-ep1", package, source + "/hobnarAudio.exe",
                       source + "/data.bin"})
                  .exitCode,
              0);
    ASSERT_TRUE(testsupport::makeRarPackage(evil, {{"hobnarAudio.exe", "evil"}}));
    testsupport::BackendProcess backend(env.root, package, 0);
    ASSERT_TRUE(backend.ready());
    product = shared + row.below + "/win-ia32-unpacked";
    ASSERT_NO_FATAL_FAILURE(row.plant(*this));
    std::string digest = runTool({"sha256sum", package}).out.substr(0, 64);

    faulttest::RunResult run = faulttest::runInstall(backend.url() + faulttest::kPackagePath,
                                                     product, faulttest::kShortTiming, -1, digest);
    EXPECT_EQ(run.outcome.failure, row.ends) << failureReason(run.outcome);
    EXPECT_TRUE(fs::is_empty(outside)) << "written outside the install folder";
    // Nobody can read or change what the run keeps privately.
    EXPECT_FALSE(asNobody({"ls", privateFolderFor(product)}));
    if (row.ends != InstallFailure::None) {
        EXPECT_EQ(exitStatusOf(row.ends), 17);
        EXPECT_EQ(failureReason(run.outcome).find("nobody") != std::string::npos,
                  row.ends == InstallFailure::ForeignFile &&
                      std::string(row.name).find("Link") == std::string::npos)
            << failureReason(run.outcome);
        EXPECT_FALSE(fs::exists(fs::symlink_status(product + "/hobnarAudio.exe")));
        return;
    }
    EXPECT_EQ(readFile(product + "/hobnarAudio.exe"), "#!/bin/sh\n");
    EXPECT_EQ(fs::status(product + "/hobnarAudio.exe").permissions(), fs::perms(0755));
    EXPECT_EQ(fs::status(product + "/data.bin").permissions(), fs::perms(0644));
    EXPECT_EQ(fs::status(product).permissions(), fs::perms(0755));
}

INSTANTIATE_TEST_SUITE_P(Hostile, CoUser, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<CoUserRow>& row) {
                             return std::string(row.param.name);
                         });

// The log quotes backend replies with root's rights: a link or a FIFO
// nobody planted at its path is refused, at once.
TEST(CoUserLog, ALinkOrAFifoAtTheLogPathIsRefused) {
    testsupport::TempEnvironment env;
    std::string profile = env.root + "/profile";
    testsupport::writeFile(profile, "root's own\n");
    fs::create_symlink(profile, env.root + "/link.log");
    ASSERT_EQ(::mkfifo((env.root + "/fifo.log").c_str(), 0666), 0);
    EXPECT_FALSE(platform::setLogFile(env.root + "/link.log"));
    EXPECT_FALSE(platform::setLogFile(env.root + "/fifo.log"));
    EXPECT_EQ(readFile(profile), "root's own\n");
    EXPECT_TRUE(platform::setLogFile(env.root + "/new.log"));
    EXPECT_EQ(fs::status(env.root + "/new.log").permissions(), fs::perms(0600));
}

}  // namespace
