// Where the product goes, the free space shown for it, what is registered.
#include <regex>

#include "install/install.h"
#include "install/registration.h"
#include "tests/support/test_env.h"

using namespace install;
using testsupport::nativePath;

namespace {

TEST(InstallLocation, FolderAndPathBuilders) {
    const std::pair<const char*, const char*> rows[] = {
        {"/opt/apps/", "/opt/apps/win-ia32-unpacked/hobnarAudio.exe"},
        {"/opt/apps//", "/opt/apps//win-ia32-unpacked/hobnarAudio.exe"},
        {"/", "/win-ia32-unpacked/hobnarAudio.exe"},
        {"/媒体/我的 程序", "/媒体/我的 程序/win-ia32-unpacked/hobnarAudio.exe"},
    };
    for (const auto& [chosen, mainExecutable] : rows) {
        EXPECT_EQ(mainExecutableIn(productFolderFor(nativePath(chosen))),
                  nativePath(mainExecutable));
    }
    // The archive lies in a private folder of the installing user's, one per
    // product folder.
    std::string privateFolder = privateFolderFor(productFolderFor(nativePath("/opt")));
    EXPECT_EQ(archivePathFor(productFolderFor(nativePath("/opt"))),
              privateFolder + nativePath("/win-ia32-unpacked.rar"));
    EXPECT_TRUE(std::regex_search(privateFolder, std::regex("hobnarAudio.downloads.[0-9a-f]{16}$")))
        << privateFolder;
    EXPECT_NE(privateFolder, privateFolderFor(productFolderFor(nativePath("/srv"))));
}

TEST(InstallLocation, GigabytesRoundedToTwoDecimals) {
    const std::pair<double, const char*> rows[] = {
        {52613349376.0, "49.00GB"}, {123456789012.0, "114.98GB"},
        {1073741824.0, "1.00GB"},   {5374077829.0, "5.00GB"},
        {2143238259.0, "2.00GB"},   {0.0, "0.00GB"},
        {6442451.0, "0.01GB"},      {-1.0, ""},
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(formatGigabytes(bytes / 1073741824.0), text) << bytes;
    }
}

// The exit statuses of the README's table, and the words a reason is told in.
TEST(Outcome, EveryReasonHasItsDocumentedExitStatus) {
    using F = InstallFailure;
    const std::pair<F, int> rows[] = {
        {F::None, 0},
        {F::FolderFailed, 3},
        {F::FolderTooLong, 13},
        {F::AnotherInstallRunning, 8},
        {F::DownloadFailed, 4},
        {F::PackageUnavailable, 4},
        {F::AddressRefused, 12},
        {F::DiskFull, 10},
        {F::NotWritable, 11},
        {F::ProductBusy, 11},
        {F::UnrarMissing, 7},
        {F::NotAnArchive, 5},
        {F::DamagedPackage, 5},
        {F::EncryptedPackage, 5},
        {F::UnsafePackage, 5},
        {F::MainProgramMissing, 5},
        {F::RegistrationFailed, 9},
        {F::DigestMismatch, 14},
        {F::SignatureMissing, 15},
        {F::SignatureMalformed, 15},
        {F::SignatureInvalid, 15},
        {F::TimedOut, 16},
        {F::ForeignFile, 17},
        {F::SecureConnectionFailed, 18},
        {static_cast<F>(999), 4},
    };
    for (const auto& [failure, status] : rows) {
        EXPECT_EQ(exitStatusOf(failure), status) << static_cast<int>(failure);
    }
    InstallOutcome refused{F::PackageUnavailable, 404, "http://h/p.rar\r\nX: 1"};
    EXPECT_EQ(failureReason(refused),
              "the package address answered HTTP 404: http://h/p.rar\\r\\nX: 1");
}

class Installed : public testsupport::IsolatedTest {};

TEST_F(Installed, DiskSpaceOnTheVolumeWhereTheFolderIsOrWillBe) {
    double total = queryDiskSpaceGB(env.root, true);
    double free = queryDiskSpaceGB(env.root, false);
    EXPECT_GT(total, 0.0);
    EXPECT_TRUE(free >= 0.0 && free <= total) << free << " of " << total;
    EXPECT_EQ(queryDiskSpaceGB(env.root + "/not/yet/made", true), total);
    EXPECT_GT(queryDiskSpaceGB(nativePath("/win-ia32-unpacked"), true), 0.0) << "the root volume";
    // Nothing to measure: no text rather than a made-up 0.00GB.
    EXPECT_LT(queryDiskSpaceGB("", false), 0.0);
    EXPECT_EQ(formatFreeSpace("relative-and-missing"), "");
}

TEST_F(Installed, SevenRegistryValuesForTheProductFolder) {
    const std::string folder = nativePath("/home/用户/win-ia32-unpacked");
    const std::string uninstall = kUninstallRegistryKey;
    const std::vector<std::vector<std::string>> expected = {
        {uninstall, "NoModify", "1"},
        {uninstall, "DisplayIcon", folder + nativePath("/hobnarAudio.exe")},
        {uninstall, "DisplayName", "hobnar语音文字转换器"},
        {uninstall, "DisplayVersion", "2.0.1"},
        {uninstall, "InstallLocation", folder},
        {uninstall, "UninstallString", folder + nativePath("/unInstall.exe")},
        {"SOFTWARE\\ZorozAvuzado", "DisplayPath", folder + nativePath("/hobnarAudio.exe")},
    };
    EXPECT_TRUE(writeUninstallEntries(folder, "2.0.1", "SOFTWARE\\ZorozAvuzado"));
    for (const auto& value : expected) {
        EXPECT_EQ(platform::registryRead(value[0], value[1]), value[2]) << value[1];
    }
    // An empty value, not a missing one.
    EXPECT_TRUE(writeUninstallEntries(folder, "", "SOFTWARE\\ZorozAvuzado"));
    EXPECT_EQ(platform::registryRead(kUninstallRegistryKey, "DisplayVersion"), std::string());
}

}  // namespace
