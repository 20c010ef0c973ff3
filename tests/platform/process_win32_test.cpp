// Starting programs on Windows: command lines that hand every argument over
// unchanged, explorer starting the product, and shell links that start it.
#include <chrono>
#include <thread>

#include "platform/platform.h"
#include "tests/support/backend_process.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;
using testsupport::readFile;

namespace {

const std::string kSep(1, platform::kPathSep);

// Waits (up to 20 s) for a file that a started program writes.
std::string awaitFile(const std::string& path) {
    for (int i = 0; i < 2000; ++i) {
        std::string content = readFile(path);
        if (!content.empty()) {
            return content;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

std::vector<std::string> splitAtNul(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end = text.find('\0'); end != std::string::npos; end = text.find('\0', start)) {
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

TEST(WindowsCommandLine, QuotesOnlyWhatNeedsIt) {
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{"C:\\Program Files\\a.exe"}, R"("C:\Program Files\a.exe")"},
        {{"a.exe", "plain", "-x=1"}, R"("a.exe" plain -x=1)"},
        {{"a.exe", ""}, R"("a.exe" "")"},
        {{"a.exe", "two words", "tab\there"}, "\"a.exe\" \"two words\" \"tab\there\""},
        {{"a.exe", R"(say "hi")"}, R"("a.exe" "say \"hi\"")"},
        {{"a.exe", R"(C:\dir\)"}, R"("a.exe" C:\dir\)"},
        {{"a.exe", R"(C:\my dir\)"}, R"("a.exe" "C:\my dir\\")"},
        {{"a.exe", R"(a\\"b)"}, R"("a.exe" "a\\\\\"b")"},
        {{"a.exe", "中文 参数"}, "\"a.exe\" \"中文 参数\""},
        {{"say\"hi.exe"}, ""},
        {{}, ""},
    };
    for (const auto& [argv, line] : rows) {
        EXPECT_EQ(platform::windowsCommandLine(argv), line) << line;
    }
}

class StartedPrograms : public IsolatedTest {};

TEST_F(StartedPrograms, ReceiveEveryArgumentUnchanged) {
    const std::vector<std::string> arguments = {"plain",
                                                "two words",
                                                "",
                                                "tab\there",
                                                "line\nbreak",
                                                "quote\"inside",
                                                "\"",
                                                "trailing\\",
                                                "trailing space\\ ",
                                                "a\\\\\"b",
                                                "C:\\Program Files\\",
                                                "中文 参数 𝄞",
                                                "&|<>^%PATH%!x!",
                                                "\\\\server\\share"};
    std::string output = env.root + kSep + "echo 输出.bin";
    std::vector<std::string> argv = {testsupport::buildToolPath("argv_echo"), output};
    argv.insert(argv.end(), arguments.begin(), arguments.end());

    ASSERT_TRUE(platform::startDetached(argv));
    EXPECT_EQ(splitAtNul(awaitFile(output)), arguments);

    EXPECT_FALSE(platform::startDetached({}));
    EXPECT_FALSE(platform::startDetached({"no-such-program-here"}));
    EXPECT_FALSE(platform::startDetached({argv[0], std::string("cut\0off", 7)}));
}

TEST_F(StartedPrograms, ExplorerStartsTheProductAtAWidePath) {
    std::string folder = env.dataHome + kSep + "产品 文件夹 (x86)";
    std::string exe = folder + kSep + "hobnarAudio.exe";
    ASSERT_TRUE(testsupport::installPathRecorder(exe));

    ASSERT_TRUE(platform::launchFile(exe));
    EXPECT_EQ(awaitFile(folder + kSep + "started"), exe + "\n");
    EXPECT_FALSE(platform::launchFile(folder + kSep + "say\"hi.exe"));
}

TEST_F(StartedPrograms, AShellLinkReplacesWhatWasThereAndStartsItsTarget) {
    std::string folder = env.dataHome + kSep + "win-ia32-unpacked";
    std::string exe = folder + kSep + "hobnarAudio.exe";
    ASSERT_TRUE(testsupport::installPathRecorder(exe));
    std::string name = "hobnar语音文字转换器";
    EXPECT_EQ(platform::shortcutFileName(name), name + ".lnk");
    std::string link = env.desktop + kSep + "新的" + kSep + platform::shortcutFileName(name);
    testsupport::writeFile(link, "planted");

    ASSERT_TRUE(platform::writeShortcut(exe, name, link));
    EXPECT_NE(readFile(link), "planted");
    EXPECT_EQ(readFile(link).compare(0, 4, std::string("L\0\0\0", 4)), 0) << "a shell link";
    ASSERT_TRUE(platform::launchFile(link));
    EXPECT_EQ(awaitFile(folder + kSep + "started"), exe + "\n");
}

}  // namespace
