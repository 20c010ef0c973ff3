#include <gtest/gtest.h>

#include <vector>

#include "app/command_line.h"

namespace {

CommandLine parse(const std::vector<std::string>& arguments) {
    return parseCommandLine(arguments);
}

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
        {{"--silent"}, true, "", "", ""},
        {{"--silent", "--dir=/srv/my_dev apps", "setup_7.exe"},
         true,
         "/srv/my_dev apps",
         "setup_7.exe",
         ""},
        {{"--dir", "/opt/x_1.y", "--silent", "dev"}, true, "/opt/x_1.y", "dev", ""},
        {{"--silent", "--dir"}, true, "", "", "--dir needs a folder"},
        {{"--silent", "--dir="}, true, "", "", "--dir needs a folder"},
        {{"--dir=/opt"}, false, "/opt", "", "--dir goes with --silent"},
        {{"--silent", "--dir=/opt/\xff\xfe"},
         true,
         "/opt/\xff\xfe",
         "",
         "--dir is not valid UTF-8"},
        {{"-dev", "--unknown"}, false, "", "-dev --unknown", ""},
        // The Windows installer forms, /D= taking the rest of the line.
        {{"/S", "setup_7.exe", "dev", "/D=C:\\My", "dev", "Apps"},
         true,
         "C:\\My dev Apps",
         "setup_7.exe dev",
         ""},
        {{"/S", "/LOG=", "x"}, true, "", "", "--log needs a file"},
    };
    for (const Row& row : rows) {
        CommandLine line = parse(row.arguments);
        EXPECT_EQ(line.silent, row.silent) << row.argumentText;
        EXPECT_EQ(line.dir, row.dir) << row.argumentText;
        EXPECT_EQ(line.argumentText, row.argumentText);
        EXPECT_EQ(line.error, row.error) << row.argumentText;
    }
    EXPECT_EQ(parse({"--log=/tmp/a b.log", "/S"}).logFile, "/tmp/a b.log");
    EXPECT_EQ(parse({"/LOG=C:\\x.log"}).logFile, "C:\\x.log");
    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_TRUE(parse({"--version"}).version);
    EXPECT_NE(usageText().find("--silent"), std::string::npos);
    EXPECT_EQ(versionText(), "hobnar-setup 2.0.1\n");
}

}  // namespace
