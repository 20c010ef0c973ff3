#include <gtest/gtest.h>

#include <vector>

#include "app/command_line.h"

namespace {

CommandLine parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "hobnar-setup");
    return parseCommandLine(static_cast<int>(arguments.size()), arguments.data());
}

TEST(CommandLine, OwnOptionsLeaveTheRestAsArgumentText) {
    struct Row {
        std::vector<const char*> arguments;
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
    };
    for (const Row& row : rows) {
        CommandLine line = parse(row.arguments);
        EXPECT_EQ(line.silent, row.silent) << row.argumentText;
        EXPECT_EQ(line.dir, row.dir) << row.argumentText;
        EXPECT_EQ(line.argumentText, row.argumentText);
        EXPECT_EQ(line.error, row.error) << row.argumentText;
    }
    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_TRUE(parse({"--version"}).version);
    EXPECT_NE(usageText().find("--silent"), std::string::npos);
    EXPECT_EQ(versionText(), "hobnar-setup 2.0.1\n");
}

}  // namespace
