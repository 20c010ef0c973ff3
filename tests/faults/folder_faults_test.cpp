// The install run in a hostile or careless environment: links a co-user
// planted in the install folder, a product that is already there, a second
// installation into the same folder, a read-only folder, a disk that fills
// up, a registry store that cannot be written.  Nothing outside the product
// folder may change, and a failed run leaves the earlier product exactly as
// it was.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>

#include "tests/faults/fault_package.h"
#include "tests/faults/hostile.h"
#include "tests/support/backend_process.h"

namespace {

namespace fs = std::filesystem;
using faulttest::Hostile;
using faulttest::Package;
using testsupport::readFile;

using namespace install;
using testsupport::writeFile;
using namespace std::chrono_literals;

// Large does not compress; Compressible unpacks to a MiB of zeros.
enum class Served { Product, Truncated, WithoutMainProgram, Large, Compressible, WithFolder };

// What a folder holds: every path below it with its kind and content.
std::map<std::string, std::string> snapshot(const std::string& folder) {
    std::map<std::string, std::string> seen;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        fs::file_status status = it->symlink_status();
        std::string relative = fs::relative(it->path(), folder).string();
        seen[relative] = fs::is_symlink(status) ? "link:" + fs::read_symlink(it->path()).string()
                         : fs::is_directory(status) ? "folder"
                                                    : readFile(it->path().string());
    }
    return seen;
}

struct FolderCase;
struct FolderRow {
    const char* name;
    Served served;
    InstallFailure ends;
    std::function<void(FolderCase&)> prepare;
};

void PrintTo(const FolderRow& row, std::ostream* out) {
    *out << row.name;
}

class FolderCase : public testsupport::IsolatedTest,
                   public ::testing::WithParamInterface<FolderRow> {
  public:
    std::string installFolder = env.root + "/install";
    std::string stateHome = env.stateHome;
    std::string desktop = env.desktop;
    std::string product = installFolder + "/win-ia32-unpacked";
    std::string outside = env.root + "/outside";
    std::string registryDb = env.registryDb;
    std::string desktopEntry() const {
        return env.desktop + "/" + platform::shortcutFileName("hobnar语音文字转换器");
    }
    // An earlier installation whose registry entries were lost.
    void earlierProduct() {
        writeFile(product + "/hobnarAudio.exe", "old program");
        writeFile(product + "/resources/data.db", "the user's data");
    }
    void make(Hostile what, const std::string& path, const std::string& target = "") {
        if (!faulttest::makeHostile(what, path, target)) {
            GTEST_SKIP() << "this system cannot make it";
        }
    }
    platform::FileHandle heldLock;
    std::string smallDisk;  // the folder a SmallDisk row mounted
};

std::function<void(FolderCase&)> heldFor(const char* milliseconds) {
    return [milliseconds](FolderCase& t) {
        t.earlierProduct();
        t.make(Hostile::HeldOpen, t.product + "/hobnarAudio.exe", milliseconds);
    };
}

const FolderRow kRows[] = {
    {"LinksPlantedInTheFolderAreReplacedNotFollowed", Served::Product, InstallFailure::None,
     [](FolderCase& t) {
         for (const std::string& at :
              {t.product + "/hobnarAudio.exe", archivePathFor(t.product), t.desktopEntry()}) {
             t.make(Hostile::Link, at, t.outside + "/secret");
         }
     }},
    {"AProductFolderThatIsALinkIsReplaced", Served::Product, InstallFailure::None,
     [](FolderCase& t) { t.make(Hostile::Link, t.product, t.outside); }},
    // Beside it, what a run killed while unpacking left.
    {"AReinstallKeepsFilesThePackageLacks", Served::Product, InstallFailure::None,
     [](FolderCase& t) {
         t.earlierProduct();
         writeFile(t.installFolder + "/.win-ia32-unpacked.unpacking-x7Q2aZ/resources/half.bin",
                   "half");
         writeFile(t.installFolder + "/.unpacking-theirs/kept", "another program's");
     }},
    {"ADamagedReinstallLeavesTheEarlierProduct", Served::Truncated, InstallFailure::DamagedPackage,
     [](FolderCase& t) { t.earlierProduct(); }},
    {"APackageWithoutTheMainProgramInstallsNothing", Served::WithoutMainProgram,
     InstallFailure::MainProgramMissing, [](FolderCase& t) { t.earlierProduct(); }},
    {"ASecondInstallationIntoTheFolderIsRefused", Served::Product,
     InstallFailure::AnotherInstallRunning,
     [](FolderCase& t) {
         fs::create_directories(t.installFolder);
         bool busy = false;
         t.heldLock = platform::lockFile(t.product + ".lock", busy);
         ASSERT_TRUE(t.heldLock.isOpen());
     }},
    {"ARefusingDesktopInstallsWithNoShortcutAndSaysSo", Served::Product, InstallFailure::None,
     [](FolderCase& t) { t.make(Hostile::ReadOnly, t.desktop); }},
    {"AReadOnlyInstallFolderIsSaidSo", Served::Product, InstallFailure::NotWritable,
     [](FolderCase& t) {
         t.earlierProduct();
         t.make(Hostile::ReadOnly, t.installFolder);
     }},
    // Past the system's limit for a path (Linux 4,095 bytes, Windows 32,767
    // characters) by a few levels; nothing is made or downloaded.
    {"AFolderTooLongForTheSystemIsRefusedFirst", Served::Product, InstallFailure::FolderTooLong,
     [](FolderCase& t) {
         int levels = platform::kPathSep == '/' ? 21 : 165;
         for (int level = 0; level < levels; ++level) {
             t.installFolder += "/" + std::string(200, char('a' + level % 26));
         }
         t.product = t.installFolder + "/win-ia32-unpacked";
     }},
    // Far past Windows' old 260 characters, and the UnRAR library's 2,048.
    {"AFolderOfLongNamesInstalls", Served::WithFolder, InstallFailure::None,
     [](FolderCase& t) {
         for (int level = 0; level < 11; ++level) {
             t.installFolder += "/" + std::string(200, char('a' + level));
         }
         t.product = t.installFolder + "/win-ia32-unpacked";
     }},
    // The archive does not fit; the archive fits, its unpacked files do not.
    {"TheDiskFillsDuringTheDownload", Served::Large, InstallFailure::DiskFull,
     [](FolderCase& t) {
         t.smallDisk = t.stateHome;  // where the private folder is
         t.make(Hostile::SmallDisk, t.smallDisk, "163840");
     }},
    {"TheDiskFillsDuringTheExtraction", Served::Compressible, InstallFailure::DiskFull,
     [](FolderCase& t) {
         t.smallDisk = t.installFolder;
         t.make(Hostile::SmallDisk, t.smallDisk, "524288");
     }},
    {"ACorruptRegistryStoreIsNoSuccessAndStaysAsItWas", Served::Product,
     InstallFailure::RegistrationFailed,
     [](FolderCase& t) { t.make(Hostile::CorruptStore, t.registryDb); }},
    // DisplayPath makes the next start run the product: never for a product
    // that is not listed in full.
    {"AnUninstallValueRefusedRecordsNoDisplayPath", Served::Product,
     InstallFailure::RegistrationFailed,
     [](FolderCase& t) { t.make(Hostile::RefusingStore, t.registryDb, "DisplayVersion"); }},
    // A link under the name of one of the package's folders is replaced.
    {"ALinkAtAFolderOfThePackageIsNotFollowed", Served::WithFolder, InstallFailure::None,
     [](FolderCase& t) { t.make(Hostile::Link, t.product + "/resources", t.outside); }},
    // A scanner holding the earlier program a moment is waited for; one that
    // holds it past the wait leaves the earlier product as it was.
    {"AFileHeldForAMomentIsWaitedFor", Served::Product, InstallFailure::None, heldFor("1500")},
    {"AFileHeldPastTheWaitIsBusy", Served::Product, InstallFailure::ProductBusy, heldFor("8000")},
    {"ALockedRegistryStoreCostsOneWait", Served::Product, InstallFailure::RegistrationFailed,
     [](FolderCase& t) {
         testsupport::setEnv("HOBNAR_REGISTRY_BUSY_MS", "700");
         ASSERT_TRUE(platform::writeRegistryString("SOFTWARE\\Other", "made", "1"));
         t.make(Hostile::LockedStore, t.registryDb);
     }},
};

Package servedPackage(const std::string& folder, Served served) {
    Package package = faulttest::makePackage(
        folder,
        served == Served::Large          ? 400 * 1024
        : served == Served::Compressible ? 1 << 20
                                         : 2000,
        served == Served::Compressible ? faulttest::Payload::Zeros : faulttest::Payload::Random);
    if (served == Served::WithFolder) {
        package.files.emplace_back("resources/app.pak", "a file in a folder");
        std::string staging = folder + "/staging";
        for (const auto& [name, content] : package.files) {
            writeFile(staging + "/" + name, content);
        }
        fs::remove(package.path);
        EXPECT_EQ(testsupport::runTool({"rar", "a", "-idq", "-r", "-ep1",
                                        testsupport::hostPath(package.path),
                                        testsupport::hostPath(staging) + "/*"})
                      .exitCode,
                  0);
    } else if (served == Served::WithoutMainProgram) {
        package.files.erase(package.files.begin());
        fs::remove(package.path);
        EXPECT_TRUE(testsupport::makeRarPackage(package.path, package.files));
    } else if (served == Served::Truncated) {
        writeFile(package.path, package.bytes.substr(0, package.bytes.size() - 700));
    }
    package.bytes = readFile(package.path);
    return package;
}

TEST_P(FolderCase, NothingOutsideChangesAndAFailureKeepsTheEarlierProduct) {
    const FolderRow& row = GetParam();
    Package package = servedPackage(env.root, row.served);
    testsupport::BackendProcess backend(env.root, package.path, 0);
    ASSERT_TRUE(backend.ready());
    writeFile(outside + "/secret", "not yours");
    fs::permissions(outside + "/secret", fs::perms(0600));
    ASSERT_NO_FATAL_FAILURE(row.prepare(*this));
    if (IsSkipped()) {
        return;
    }
    std::string storeBefore = readFile(env.registryDb);
    bool refusesOne = std::string(row.name).find("Refused") != std::string::npos;
    const std::string theirs = installFolder + "/.unpacking-theirs/kept";
    std::error_code tooLong;
    const bool hasTheirs = fs::exists(fs::u8path(theirs), tooLong);
    std::map<std::string, std::string> before = snapshot(product);

    auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    faulttest::RunResult run =
        faulttest::runInstall(backend.url() + faulttest::kPackagePath, product);
    std::string said = testing::internal::GetCapturedStderr();
    const InstallOutcome& outcome = run.outcome;
    auto took = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(outcome.failure, row.ends) << failureReason(outcome);
    EXPECT_EQ(snapshot(outside), (std::map<std::string, std::string>{{"secret", "not yours"}}));
    if (platform::kPathSep == '/') {
        EXPECT_EQ(fs::status(outside + "/secret").permissions(), fs::perms(0600));
    }
    if (hasTheirs) {
        EXPECT_EQ(readFile(theirs), "another program's") << "the sweep took another's folder";
    }
    for (const auto& [path, content] : snapshot(installFolder)) {
        EXPECT_NE(path.rfind(".win-ia32-unpacked.unpacking-", 0), 0u)
            << "an unpacking folder was left behind";
    }
    if (std::string(row.name).find("Held") != std::string::npos) {
        EXPECT_NE(said.find("in use by another program"), std::string::npos) << said;
    }
    if (row.ends == InstallFailure::None) {
        faulttest::expectInstalled(product, package);
        // Installed and registered all the same, and said so.
        bool linked = fs::is_regular_file(fs::symlink_status(fs::u8path(desktopEntry())));
        EXPECT_EQ(linked, said.find("no desktop shortcut could be made") == std::string::npos);
        EXPECT_EQ(linked, std::string(row.name).find("NoShortcut") == std::string::npos);
        if (before.count("resources/data.db")) {
            EXPECT_EQ(readFile(product + "/resources/data.db"), "the user's data");
        }
        return;
    }
    EXPECT_EQ(platform::readRegistryString(faulttest::kProductKey, "DisplayPath"), "");
    EXPECT_TRUE(run.events.empty()) << "no success reported";
    if (row.ends == InstallFailure::RegistrationFailed) {
        EXPECT_TRUE(refusesOne || readFile(env.registryDb) == storeBefore) << "the store changed";
        // One wait for the locked store, not one per value.
        EXPECT_LT(took, 4 * 700ms);
    } else {
        EXPECT_EQ(snapshot(product), before);
    }
    if (row.ends == InstallFailure::DiskFull) {
        // Said at once, not retried, and what was written is gone; with room
        // again the next run installs.
        EXPECT_FALSE(fs::exists(fs::u8path(archivePathFor(product))));
        ASSERT_TRUE(backend.logHas(std::string("GET ") + faulttest::kPackagePath));
        EXPECT_EQ(backend.requests(std::string("GET ") + faulttest::kPackagePath), 1);
        ASSERT_TRUE(faulttest::makeHostile(Hostile::SmallDisk, smallDisk, "8388608"));
        EXPECT_TRUE(
            faulttest::runInstall(backend.url() + faulttest::kPackagePath, product).outcome.ok());
        faulttest::expectInstalled(product, package);
    }
    if (row.ends == InstallFailure::AnotherInstallRunning ||
        row.ends == InstallFailure::FolderTooLong) {
        EXPECT_EQ(backend.log().find("GET"), std::string::npos) << "refused before any download";
    }
}

INSTANTIATE_TEST_SUITE_P(Folder, FolderCase, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<FolderRow>& row) {
                             return std::string(row.param.name);
                         });

}  // namespace
