#include <gtest/gtest.h>

#include <set>

#include "platform/platform.h"
#include "tests/support/child_process.h"

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

TEST(ProgramFile, IsTheRunningExecutable) {
    std::string path = platform::programFilePath();
    EXPECT_EQ(path, testsupport::buildToolPath("platform_test"));
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
