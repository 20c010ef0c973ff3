// The registry on Windows: REG_SZ values of the real registry under
// HKEY_LOCAL_MACHINE, UTF-8 in the program and UTF-16 in the registry, as
// the system's own reg.exe sees them.
#include "platform/platform.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;
using testsupport::runTool;
using testsupport::ToolRun;

namespace {

const char* const kKey = "SOFTWARE\\ZorozAvuzado";
const char* const kRegKey = "HKLM\\SOFTWARE\\ZorozAvuzado";

class RegistryValues : public IsolatedTest {};

TEST_F(RegistryValues, AreStringsOfTheRealRegistry) {
    EXPECT_EQ(platform::registryStorePath(), "HKEY_LOCAL_MACHINE");
    ASSERT_TRUE(platform::registryWrite(kKey, "plain", "two words"));
    ToolRun query = runTool({"reg", "query", kRegKey, "/v", "plain"});
    EXPECT_EQ(query.exitCode, 0) << query.err;
    EXPECT_NE(query.out.find("REG_SZ"), std::string::npos) << query.out;
    EXPECT_NE(query.out.find("two words"), std::string::npos) << query.out;

    ToolRun add = runTool(
        {"reg", "add", kRegKey, "/v", "fromReg", "/t", "REG_SZ", "/d", "set by reg.exe", "/f"});
    ASSERT_EQ(add.exitCode, 0) << add.err;
    EXPECT_EQ(platform::registryRead(kKey, "fromReg"), "set by reg.exe");

    ToolRun number =
        runTool({"reg", "add", kRegKey, "/v", "number", "/t", "REG_DWORD", "/d", "5", "/f"});
    ASSERT_EQ(number.exitCode, 0) << number.err;
    EXPECT_FALSE(platform::registryRead(kKey, "number").has_value()) << "not a string value";
}

TEST_F(RegistryValues, TextCrossesAsUtf16) {
    ASSERT_TRUE(platform::registryWrite(kKey, "名字", "hobnar语音文字转换器 𝄞"));
    EXPECT_EQ(platform::registryRead(kKey, "名字"), "hobnar语音文字转换器 𝄞");

    // Bytes that are not UTF-8 have no UTF-16 form: each becomes U+FFFD.
    ASSERT_TRUE(platform::registryWrite(kKey, "binary", std::string("a\0b\xff", 4)));
    EXPECT_EQ(platform::registryRead(kKey, "binary"), std::string("a\0b\xEF\xBF\xBD", 6));

    EXPECT_FALSE(platform::registryWrite(kKey, std::string("cut\0off", 7), "x"))
        << "a name with a NUL would name another value";
    EXPECT_FALSE(platform::registryRead(kKey, "cut").has_value());
}

}  // namespace
