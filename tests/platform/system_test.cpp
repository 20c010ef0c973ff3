#include <set>

#include "platform/platform.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;
using testsupport::setEnv;

namespace {

struct OsReleaseRow {
    const char* text;
    const char* name;
};

TEST(OsRelease, NameFromTheReleaseFile) {
    const OsReleaseRow rows[] = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n",
         "Debian GNU/Linux 12 (bookworm)"},
        {"NAME=Fedora\nVERSION=\"39 (Workstation Edition)\"\n", "Fedora 39 (Workstation Edition)"},
        {"NAME='Alpine Linux'\n", "Alpine Linux"},
        {"# comment\nPRETTY_NAME=\"Say \\\"hi\\\" \\$x\"\n", "Say \"hi\" $x"},
        {"ID=debian\nVERSION_ID=12\n", ""},
        {"", ""},
        {"garbage without equals\nPRETTY_NAME=Arch Linux", "Arch Linux"},
    };
    for (const OsReleaseRow& row : rows) {
        EXPECT_EQ(platform::parseOsReleaseName(row.text), row.name) << row.text;
    }
    EXPECT_FALSE(platform::osVersionFacts().osName.empty());
}

TEST(Guid, RandomVersionFourBytes) {
    std::set<std::array<std::uint8_t, 16>> seen;
    for (int i = 0; i < 100; ++i) {
        std::array<std::uint8_t, 16> guid = platform::newGuidBytes();
        EXPECT_EQ(guid[6] >> 4, 4);
        EXPECT_EQ(guid[8] & 0xC0, 0x80);
        seen.insert(guid);
    }
    EXPECT_EQ(seen.size(), 100u);
}

class KnownFolders : public IsolatedTest {};

TEST_F(KnownFolders, FollowTheXdgVariablesThenHome) {
    EXPECT_EQ(platform::localAppDataDir(), env.stateHome);
    EXPECT_EQ(platform::roamingAppDataDir(), env.dataHome);
    EXPECT_EQ(platform::desktopDir(), env.desktop);

    setEnv("XDG_STATE_HOME", "relative/ignored");
    setEnv("XDG_DATA_HOME", "");
    EXPECT_EQ(platform::localAppDataDir(), env.home + "/.local/state");
    EXPECT_EQ(platform::roamingAppDataDir(), env.home + "/.local/share");

    setEnv("XDG_DESKTOP_DIR", nullptr);
    EXPECT_EQ(platform::desktopDir(), env.home + "/Desktop");
    testsupport::writeFile(env.configHome + "/user-dirs.dirs",
                           "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
    EXPECT_EQ(platform::desktopDir(), env.home + "/桌面");

    setEnv("HOME", nullptr);
    setEnv("XDG_STATE_HOME", nullptr);
    setEnv("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(platform::localAppDataDir(), "");
    EXPECT_EQ(platform::roamingAppDataDir(), "");
    EXPECT_EQ(platform::desktopDir(), "");
}

TEST(ProgramFile, IsTheRunningExecutable) {
    std::string path = platform::programFilePath();
    EXPECT_EQ(path, platform::programDir() + "/platform_test");
    EXPECT_TRUE(platform::fileExists(path));
    EXPECT_FALSE(platform::fileExists(path + ".missing"));
    EXPECT_FALSE(platform::fileExists(""));
}

TEST(DebugOutput, OneLinePerMessageOnStandardError) {
    testing::internal::CaptureStderr();
    platform::debugOutput("plain");
    platform::debugLog("当前进度:45.000000%");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "plain\nQvmAudioDownCall: 当前进度:45.000000%\n");
}

}  // namespace
