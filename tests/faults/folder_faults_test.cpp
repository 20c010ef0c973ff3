// The install run in a hostile or careless environment: links a co-user
// planted in the install folder, a product that is already there, a second
// installation into the same folder, a read-only folder, a registry store
// that cannot be written.  Nothing outside the product folder may change,
// and a failed run leaves the earlier product exactly as it was.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>

#include "install/install.h"
#include "tests/faults/fault_package.h"
#include "tests/faults/hostile.h"
#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace {

namespace fs = std::filesystem;
using faulttest::kPackagePath;
using faulttest::Package;
using testsupport::readFile;
using testsupport::writeFile;
using namespace std::chrono_literals;

enum class Served { Product, Truncated, WithoutMainProgram };

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
    std::string desktop = env.desktop;
    std::string registryDb = env.registryDb;
    std::string installFolder = env.root + "/install";
    std::string product = installFolder + "/win-ia32-unpacked";
    std::string outside = env.root + "/outside";
    std::string desktopEntry() const {
        return desktop + "/" + platform::shortcutFileName("hobnar语音文字转换器");
    }
    // An earlier installation whose registry entries were lost.
    void earlierProduct() {
        fs::create_directories(product + "/resources");
        writeFile(product + "/hobnarAudio.exe", "old program");
        writeFile(product + "/resources/data.db", "the user's data");
    }
    platform::FileHandle heldLock;
};

void breakStore(FolderCase& t, faulttest::StoreBreak how) {
    if (!faulttest::breakRegistryStore(t.registryDb, how)) {
        GTEST_SKIP() << "the registry here is the system's own";
    }
}

const FolderRow kRows[] = {
    {"LinksPlantedInTheFolderAreReplacedNotFollowed", Served::Product, InstallFailure::None,
     [](FolderCase& t) {
         fs::create_directories(t.product);
         fs::create_directories(t.desktop);
         for (const std::string& at :
              {t.product + "/hobnarAudio.exe", t.product + ".rar", t.desktopEntry()}) {
             if (!faulttest::plantLink(t.outside + "/secret", at)) {
                 GTEST_SKIP() << "no links to plant here";
             }
         }
     }},
    {"AProductFolderThatIsALinkIsReplaced", Served::Product, InstallFailure::None,
     [](FolderCase& t) {
         fs::create_directories(t.installFolder);
         if (!faulttest::plantLink(t.outside, t.product)) {
             GTEST_SKIP() << "no links to plant here";
         }
     }},
    {"AReinstallKeepsFilesThePackageLacks", Served::Product, InstallFailure::None,
     [](FolderCase& t) { t.earlierProduct(); }},
    {"WhatARunKilledWhileUnpackingLeftIsCleared", Served::Product, InstallFailure::None,
     [](FolderCase& t) {
         fs::create_directories(t.installFolder + "/.unpacking-x7Q2aZ/resources");
         writeFile(t.installFolder + "/.unpacking-x7Q2aZ/resources/half.bin", "half");
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
    {"AReadOnlyInstallFolderIsSaidSo", Served::Product, InstallFailure::NotWritable,
     [](FolderCase& t) {
         t.earlierProduct();
         if (!faulttest::makeReadOnly(t.installFolder)) {
             GTEST_SKIP() << "no read-only folder here";
         }
     }},
    {"AFolderTooLongForTheUnrarLibraryIsRefusedFirst", Served::Product,
     InstallFailure::FolderTooLong,
     [](FolderCase& t) {
         for (int level = 0; level < 9; ++level) {
             t.installFolder += "/" + std::string(200, char('a' + level));
         }
         t.product = t.installFolder + "/win-ia32-unpacked";
     }},
    {"ARegistryStoreThatIsAFolderIsNoSuccess", Served::Product, InstallFailure::RegistrationFailed,
     [](FolderCase& t) { breakStore(t, faulttest::StoreBreak::IsAFolder); }},
    {"ACorruptRegistryStoreIsNoSuccessAndStaysAsItWas", Served::Product,
     InstallFailure::RegistrationFailed,
     [](FolderCase& t) { breakStore(t, faulttest::StoreBreak::Corrupt); }},
    {"ALockedRegistryStoreCostsOneWait", Served::Product, InstallFailure::RegistrationFailed,
     [](FolderCase& t) {
         testsupport::setEnv("HOBNAR_REGISTRY_BUSY_MS", "700");
         ASSERT_TRUE(writeRegistryString("SOFTWARE\\Other", "made", "1"));
         breakStore(t, faulttest::StoreBreak::Locked);
     }},
};

Package servedPackage(const std::string& folder, Served served) {
    Package package = faulttest::makePackage(folder, 2000);
    if (served == Served::WithoutMainProgram) {
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
    fs::create_directories(outside);
    writeFile(outside + "/secret", "not yours");
    fs::permissions(outside + "/secret", fs::perms(0600));
    ASSERT_NO_FATAL_FAILURE(row.prepare(*this));
    if (IsSkipped()) {
        return;
    }
    std::string storeBefore = readFile(env.registryDb);
    std::map<std::string, std::string> before = snapshot(product);

    InstallerContext context;
    context.apiBaseUrl = backend.url();
    faulttest::RunRecord record;
    auto start = std::chrono::steady_clock::now();
    InstallOutcome outcome = faulttest::runInstall(context, product, backend.url() + kPackagePath,
                                                   DownloadTiming{10s, 5ms, 3}, record);
    auto took = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(outcome.failure, row.ends) << failureReason(outcome);
    EXPECT_EQ(snapshot(outside), (std::map<std::string, std::string>{{"secret", "not yours"}}));
    if (platform::kPathSep == '/') {
        EXPECT_EQ(fs::status(outside + "/secret").permissions(), fs::perms(0600));
    }
    std::error_code error;
    for (fs::directory_iterator it(installFolder, error), end; !error && it != end;
         it.increment(error)) {
        EXPECT_EQ(it->path().filename().string().rfind(".unpacking-", 0), std::string::npos)
            << "an unpacking folder was left behind";
    }
    if (row.ends == InstallFailure::None) {
        faulttest::expectInstalled(product, package);
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(fs::u8path(product))));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(fs::u8path(desktopEntry()))));
        if (before.count("resources/data.db")) {
            EXPECT_EQ(readFile(product + "/resources/data.db"), "the user's data");
        }
        return;
    }
    EXPECT_EQ(readRegistryString(kProductRegistryKey, "DisplayPath"), "");
    EXPECT_TRUE(backend.eventNames().empty()) << "no success reported";
    if (row.ends == InstallFailure::RegistrationFailed) {
        EXPECT_EQ(readFile(product + "/hobnarAudio.exe"), package.files[0].second);
        EXPECT_TRUE(readFile(env.registryDb) == storeBefore) << "the store was changed";
        // One wait for the locked store, not one per value.
        EXPECT_LT(took, 4 * 700ms);
    } else {
        EXPECT_EQ(snapshot(product), before);
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
