// Option parsing: what each form of argument turns into, and which command
// lines are refused (with which complaint).
#include <gtest/gtest.h>

#include "server/options.h"

namespace {

using server::parseOptions;
using server::ServerOptions;

TEST(ServerOptions, ValuesInBothSpellings) {
    auto parsed = parseOptions({"--package=p.rar",
                                "--port",
                                "0",
                                "--host=0.0.0.0",
                                "--version",
                                "3.1",
                                "--channel=ch",
                                "--db",
                                "x.db",
                                "--package-url=http://h/a.rar?x=1",
                                "--bandwidth",
                                "4096",
                                "--drop-after=0",
                                "--ignore-range",
                                "--no-length",
                                "--stall",
                                "1.5",
                                "--stall-path=/v1/app/client/getSize",
                                "--fail-first",
                                "3:502"});
    ASSERT_EQ(parsed.error, "");
    const ServerOptions& o = parsed.options;
    EXPECT_EQ(o.packagePath, "p.rar");
    EXPECT_EQ(o.port, 0);
    EXPECT_EQ(o.host, "0.0.0.0");
    EXPECT_EQ(o.version, "3.1");
    EXPECT_EQ(o.channel, "ch");
    EXPECT_EQ(o.dbPath, "x.db");
    EXPECT_EQ(o.packageUrl, "http://h/a.rar?x=1");
    EXPECT_EQ(o.bandwidth, 4096u);
    EXPECT_TRUE(o.dropAfterSet);
    EXPECT_EQ(o.dropAfter, 0u);
    EXPECT_TRUE(o.ignoreRange && o.noLength);
    EXPECT_DOUBLE_EQ(o.stallSeconds, 1.5);
    EXPECT_EQ(o.stallPath, "/v1/app/client/getSize");
    EXPECT_EQ(o.failFirst, 3u);
    EXPECT_EQ(o.failFirstStatus, 502);
    // Without --port the backend takes the installer's development port.
    EXPECT_EQ(parseOptions({"--package", "p"}).options.port, 18080);
}

TEST(ServerOptions, PathFaultsRepeatAndSplitAtTheFirstEquals) {
    auto parsed =
        parseOptions({"--package", "p", "--status", "/a=500", "--status=/b=404", "--reply",
                      "/c={\"success\":\"1\",\"obj\":\"a=b\"}", "--reply=/d=", "--redirect",
                      "/e=http://h/x?y=z", "--status", "/a=503"});
    ASSERT_EQ(parsed.error, "");
    const ServerOptions& o = parsed.options;
    EXPECT_EQ(o.statusByPath, (std::map<std::string, int>{{"/a", 503}, {"/b", 404}}));
    EXPECT_EQ(o.replyByPath, (std::map<std::string, std::string>{
                                 {"/c", "{\"success\":\"1\",\"obj\":\"a=b\"}"}, {"/d", ""}}));
    EXPECT_EQ(o.redirectByPath.at("/e"), "http://h/x?y=z");
}

TEST(ServerOptions, ModesWithoutAPackage) {
    EXPECT_TRUE(parseOptions({"--help"}).options.help);
    auto list = parseOptions({"--db=e.db", "--list-events"});
    EXPECT_EQ(list.error, "");
    EXPECT_TRUE(list.options.listEvents);
}

TEST(ServerOptions, RefusedCommandLines) {
    struct Row {
        std::vector<std::string> args;
        std::string complaint;  // a part of the error text
    };
    const std::vector<Row> rows = {
        {{}, "--package FILE is required"},
        {{"--package", "p", "extra"}, "unknown argument 'extra'"},
        {{"--package", "p", "--frobnicate"}, "unknown argument '--frobnicate'"},
        {{"--package", "p", "-p"}, "unknown argument '-p'"},
        {{"--package"}, "--package needs a value"},
        {{"--package", "p", "--port", "65536"}, "--port needs a number"},
        {{"--package", "p", "--port", "-1"}, "--port needs a number"},
        {{"--package", "p", "--port=80x"}, "--port needs a number"},
        {{"--package", "p", "--bandwidth", "0"}, "--bandwidth needs a positive byte count"},
        {{"--package", "p", "--drop-after", "ten"}, "--drop-after needs a byte count"},
        {{"--package", "p", "--status", "/a=99"}, "--status needs PATH=CODE"},
        {{"--package", "p", "--status", "/a=600"}, "--status needs PATH=CODE"},
        {{"--package", "p", "--status", "a=500"}, "--status needs PATH=CODE"},
        {{"--package", "p", "--status", "/a"}, "--status needs PATH=CODE"},
        {{"--package", "p", "--reply", "=x"}, "--reply needs PATH=VALUE"},
        {{"--package", "p", "--redirect", "/a"}, "--redirect needs PATH=VALUE"},
        {{"--package", "p", "--fail-first", "3"}, "--fail-first needs COUNT:CODE"},
        {{"--package", "p", "--fail-first", "x:503"}, "--fail-first needs COUNT:CODE"},
        {{"--package", "p", "--fail-first", "3:600"}, "--fail-first needs COUNT:CODE"},
        {{"--package", "p", "--fail-first", "3:"}, "--fail-first needs COUNT:CODE"},
        {{"--package", "p", "--stall", "-1"}, "--stall needs a number of seconds"},
        {{"--package", "p", "--stall", "soon"}, "--stall needs a number of seconds"},
        {{"--package", "p", "--stall-path", "/a"}, "--stall-path needs --stall"},
        {{"--package", "p", "--stall", "1", "--stall-path", "a"}, "--stall-path needs a path"},
        {{"--package", "p", "--ignore-range=yes"}, "--ignore-range takes no value"},
        {{"--package", "p", "--version="}, "--version needs a non-empty value"},
    };
    for (const Row& row : rows) {
        std::string joined;
        for (const std::string& arg : row.args) {
            joined += arg + " ";
        }
        std::string error = parseOptions(row.args).error;
        EXPECT_NE(error.find(row.complaint), std::string::npos)
            << "args: " << joined << "\nerror: " << error;
    }
}

}  // namespace
