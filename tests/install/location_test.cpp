#include <filesystem>

#include "install/install.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;
namespace fs = std::filesystem;

namespace {

TEST(InstallLocation, FolderAndPathBuilders) {
    struct Row {
        const char* chosen;
        const char* installFolder;
        const char* mainExecutable;
    } rows[] = {
        {"/home/u/.local/share", "/home/u/.local/share",
         "/home/u/.local/share/win-ia32-unpacked/hobnarAudio.exe"},
        {"/opt/apps/", "/opt/apps", "/opt/apps/win-ia32-unpacked/hobnarAudio.exe"},
        {"/opt/apps//", "/opt/apps/", "/opt/apps//win-ia32-unpacked/hobnarAudio.exe"},
        {"/", "", "/win-ia32-unpacked/hobnarAudio.exe"},
        {"/媒体/我的 程序", "/媒体/我的 程序", "/媒体/我的 程序/win-ia32-unpacked/hobnarAudio.exe"},
    };
    for (const Row& row : rows) {
        std::string folder = trimInstallFolder(row.chosen);
        EXPECT_EQ(folder, row.installFolder);
        EXPECT_EQ(mainExecutableFor(folder), row.mainExecutable);
        EXPECT_EQ(mainExecutableIn(productFolderFor(folder)), row.mainExecutable);
    }
    EXPECT_EQ(archivePathFor(productFolderFor("/opt")), "/opt/win-ia32-unpacked.rar");
}

TEST(InstallLocation, GigabytesRoundedToTwoDecimals) {
    struct Row {
        double bytes;
        const char* text;
    } rows[] = {
        {52613349376.0, "49.00GB"}, {123456789012.0, "114.98GB"},
        {1073741824.0, "1.00GB"},   {5374077829.0, "5.00GB"},
        {2143238259.0, "2.00GB"},   {0.0, "0.00GB"},
        {6442451.0, "0.01GB"},      {-1.0, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(formatGigabytes(row.bytes / 1073741824.0), row.text) << row.bytes;
    }
}

class DiskSpace : public IsolatedTest {};

TEST_F(DiskSpace, MeasuredOnTheVolumeWhereTheFolderIsOrWillBe) {
    double total = queryDiskSpaceGB(env.root, true);
    double free = queryDiskSpaceGB(env.root, false);
    EXPECT_GT(total, 0.0);
    EXPECT_GE(free, 0.0);
    EXPECT_LE(free, total);
    EXPECT_EQ(queryDiskSpaceGB(env.root + "/not/yet/made", true), total);

    std::string text = formatFreeSpace(env.root);
    ASSERT_GE(text.size(), 6u);
    EXPECT_EQ(text.substr(text.size() - 2), "GB");
    EXPECT_EQ(text[text.size() - 5], '.');

    // Nothing to measure: no text rather than a made-up 0.00GB.
    EXPECT_LT(queryDiskSpaceGB("", false), 0.0);
    EXPECT_EQ(formatFreeSpace(""), "");
    EXPECT_EQ(formatFreeSpace("relative-and-missing"), "");
}

// Names with blanks, quotes, `;` and `$(...)` are tests/ui's (startInstall);
// here the folder that cannot be made.
TEST_F(DiskSpace, ProductFolderCreatedOnlyWhereAFolderCanBe) {
    std::string folder = productFolderFor(env.root + "/语音 文字/deeper");
    EXPECT_TRUE(createProductFolder(folder));
    EXPECT_TRUE(createProductFolder(folder)) << "again";
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_FALSE(createProductFolder(""));
    testsupport::writeFile(env.root + "/plain file", "x");
    EXPECT_FALSE(createProductFolder(env.root + "/plain file"));
}

}  // namespace
