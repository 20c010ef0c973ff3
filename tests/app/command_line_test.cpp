#include <gtest/gtest.h>

#include <vector>

#include "app/command_line.h"

using namespace app;

namespace {

TEST(CommandLine, OwnOptionsLeaveTheRestAsArgumentText) {
    struct Row {
        std::vector<std::string> arguments;
        bool silent;
        std::string dir;
        std::string argumentText;
        std::string error;
    };
    const Row rows[] = {
        {{}, false, "", "", ""},
        {{"setup_10086.exe", "dev"}, false, "", "setup_10086.exe dev", ""},
        {{"--silent", "--dir=/my_dev a", "setup_7.exe"}, true, "/my_dev a", "setup_7.exe", ""},
        {{"--dir", "/opt/x_1.y", "--silent", "dev"}, true, "/opt/x_1.y", "dev", ""},
        {{"--silent", "--dir"}, true, "", "", "--dir needs a folder"},
        {{"--silent", "--dir="}, true, "", "", "--dir needs a folder"},
        {{"--dir=/opt"}, false, "/opt", "", "--dir goes with --silent"},
        {{"--silent", "--dir=/\xff\xfe"}, true, "/\xff\xfe", "", "--dir is not valid UTF-8"},
        {{"-dev", "--unknown"}, false, "", "-dev --unknown", ""},
        // The Windows installer forms, /D= taking the rest of the line.
        {{"/S", "dev", "/D=C:\\My", "dev", "x"}, true, "C:\\My dev x", "dev", ""},
        {{"/S", "/LOG=", "x"}, true, "", "", "--log needs a file"},
        {{"--timeout=60"}, false, "", "", "--timeout goes with --silent"},
        {{"/S", "--timeout"}, true, "", "", "--timeout needs =SECONDS"},
        {{"/S", "/TIMEOUT=0"},
         true,
         "",
         "",
         "--timeout needs a whole number of seconds from 1 to 31622400"},
        {{"/S", "--timeout=31622401"},
         true,
         "",
         "",
         "--timeout needs a whole number of seconds from 1 to 31622400"},
        {{"/S", "--timeout=1e3"},
         true,
         "",
         "",
         "--timeout needs a whole number of seconds from 1 to 31622400"},
    };
    for (const Row& row : rows) {
        CommandLine line = parseCommandLine(row.arguments);
        EXPECT_EQ(line.silent, row.silent) << row.argumentText;
        EXPECT_EQ(line.dir, row.dir) << row.argumentText;
        EXPECT_EQ(line.argumentText, row.argumentText);
        EXPECT_EQ(line.error, row.error) << row.argumentText;
    }
    EXPECT_EQ(parseCommandLine({"--log=/tmp/a b.log", "/S"}).logFile, "/tmp/a b.log");
    EXPECT_EQ(parseCommandLine({"/LOG=C:\\x.log"}).logFile, "C:\\x.log");
    EXPECT_EQ(parseCommandLine({"/S", "/TIMEOUT=31622400"}).timeout,
              std::chrono::seconds(31622400));
    EXPECT_EQ(parseCommandLine({"--silent", "--timeout=90", "dev"}).timeout,
              std::chrono::seconds(90));
    EXPECT_FALSE(parseCommandLine({"--silent", "dev"}).timeout);
    EXPECT_EQ(absoluteFolder("a/../b"), absoluteFolder("b")) << "recorded as the folder it names";
    EXPECT_TRUE(parseCommandLine({"--help"}).help);
    EXPECT_TRUE(parseCommandLine({"--version"}).version);
    EXPECT_NE(usageText().find("--silent"), std::string::npos);
    EXPECT_EQ(versionText(), "hobnar-setup 2.0.1\n");
}

}  // namespace
