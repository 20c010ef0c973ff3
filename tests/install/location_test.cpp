#include <algorithm>
#include <filesystem>

#include "install/install.h"
#include "tests/support/test_env.h"

namespace {

// A path written with "/" in the form of this system.
std::string native(std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kPathSep);
    return path;
}

TEST(InstallLocation, FolderAndPathBuilders) {
    const struct {
        const char* chosen;
        const char* mainExecutable;
    } rows[] = {
        {"/opt/apps/", "/opt/apps/win-ia32-unpacked/hobnarAudio.exe"},
        {"/opt/apps//", "/opt/apps//win-ia32-unpacked/hobnarAudio.exe"},
        {"/", "/win-ia32-unpacked/hobnarAudio.exe"},
        {"/媒体/我的 程序", "/媒体/我的 程序/win-ia32-unpacked/hobnarAudio.exe"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(mainExecutableIn(productFolderFor(trimInstallFolder(native(row.chosen)))),
                  native(row.mainExecutable));
    }
    EXPECT_EQ(archivePathFor(productFolderFor(native("/opt"))),
              native("/opt/win-ia32-unpacked.rar"));
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

class DiskSpace : public testsupport::IsolatedTest {};

TEST_F(DiskSpace, MeasuredOnTheVolumeWhereTheFolderIsOrWillBe) {
    double total = queryDiskSpaceGB(env.root, true);
    double free = queryDiskSpaceGB(env.root, false);
    EXPECT_GT(total, 0.0);
    EXPECT_GE(free, 0.0);
    EXPECT_LE(free, total);
    EXPECT_EQ(queryDiskSpaceGB(env.root + "/not/yet/made", true), total);
    EXPECT_GT(queryDiskSpaceGB(native("/win-ia32-unpacked"), true), 0.0) << "the root volume";
    // Nothing to measure: no text rather than a made-up 0.00GB.
    EXPECT_LT(queryDiskSpaceGB("", false), 0.0);
    EXPECT_EQ(formatFreeSpace("relative-and-missing"), "");
}

}  // namespace
