// Where Windows differs: the real registry (UTF-16 REG_SZ values), shell
// links, where libraries come from.
#include <windows.h>

#include <filesystem>

#include "platform/platform.h"
#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace {

const char* const kKey = "SOFTWARE\\ZorozAvuzado";

using Win32 = testsupport::IsolatedTest;

// Bytes that are not UTF-8 have no UTF-16 form: each becomes U+FFFD.  A name
// with a NUL would name another value; a value of another type is none.
TEST_F(Win32, RegistryValuesAreStringsOfTheRealRegistry) {
    ASSERT_TRUE(platform::registryWrite(kKey, "名字", "two words 𝄞"));
    ASSERT_TRUE(platform::registryWrite(kKey, "binary", std::string("a\0b\xff", 4)));
    std::string reg = "HKLM\\" + std::string(kKey);
    EXPECT_NE(testsupport::runTool({"reg", "query", reg, "/v", "名字"}).out.find("REG_SZ"),
              std::string::npos);
    testsupport::runTool({"reg", "add", reg, "/v", "n", "/t", "REG_DWORD", "/d", "5", "/f"});
    EXPECT_EQ(platform::registryRead(kKey, "名字").value_or("") + "|" +
                  platform::registryRead(kKey, "binary").value_or("") + "|" +
                  platform::registryRead(kKey, "n").value_or("none"),
              std::string("two words 𝄞|a") + '\0' + "b\xEF\xBF\xBD|none");
    EXPECT_FALSE(platform::registryWrite(kKey, std::string("cut\0off", 7), "x") ||
                 platform::registryRead(kKey, "cut") ||
                 platform::startDetached({"hobnarAudio.exe", std::string("cut\0off", 7)}));
}

TEST_F(Win32, AShellLinkReplacesWhatWasThereAndStartsItsTarget) {
    std::string exe = env.dataHome + "\\win-ia32-unpacked\\hobnarAudio.exe";
    ASSERT_TRUE(testsupport::installPathRecorder(exe));
    std::string link =
        env.desktop + "\\新的\\" + platform::shortcutFileName("hobnar语音文字转换器");
    testsupport::writeFile(link, "planted");
    ASSERT_TRUE(platform::writeShortcut(exe, "hobnar语音文字转换器", link));
    EXPECT_EQ(testsupport::readFile(link).compare(0, 4, std::string("L\0\0\0", 4)), 0);
    ASSERT_TRUE(platform::launchFile(link));
    EXPECT_EQ(testsupport::awaitFile(env.dataHome + "\\win-ia32-unpacked\\started"), exe + "\n");
}

// No library comes from the folder the program starts from, where a web
// page may have dropped one under a system DLL's or the UnRAR library's
// name: once the search is restricted, such a DLL is not found by name, and
// the UnRAR library is loaded only from beside the program.
TEST_F(Win32, LibrariesComeFromTheSystemOrBesideTheProgramOnly) {
    std::string marker = env.root + "\\loaded.txt";
    testsupport::setEnv("HOBNAR_PLANTED_MARKER", marker.c_str());
    for (const char* name : {"probe.dll", "netprobe.dll", "unrar-planted.dll"}) {
        std::filesystem::copy_file(HOBNAR_PLANTED_DLL, env.root + "\\" + name);
    }
    HMODULE before = LoadLibraryW(L"probe.dll");  // the working folder is searched
    ASSERT_NE(before, nullptr);
    FreeLibrary(before);
    ASSERT_TRUE(std::filesystem::exists(marker)) << "the planted DLL does not say it was loaded";
    std::filesystem::remove(marker);
    platform::restrictLibrarySearch();
    EXPECT_EQ(LoadLibraryW(L"netprobe.dll"), nullptr);
    EXPECT_EQ(platform::loadLibrary("unrar-planted.dll"), nullptr);
    EXPECT_NE(platform::loadLibrary(platform::unrarLibraryName()), nullptr) << "beside the program";
    EXPECT_FALSE(std::filesystem::exists(marker));
}

}  // namespace
