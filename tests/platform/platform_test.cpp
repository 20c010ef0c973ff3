// The OS layer as every system has it (posix_test.cpp, win32_test.cpp: what differs).
#include <clocale>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "platform/platform.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

namespace {

namespace fs = std::filesystem;
using platform::IoError;
using System = testsupport::IsolatedTest;

const char* const kKey = "SOFTWARE\\ZorozAvuzado";

// Rows: UTF-8, its wide text (UTF-16 pairs), well-formed or not, on one line.
TEST(Text, WideTextValidityAndOneLine) {
    const std::wstring bad(1, L'\uFFFD');
    const std::tuple<std::string, std::wstring, bool, std::string> rows[] = {
        {"语音 \xF0\x9D\x84\x9E", L"\u8bed\u97f3 \U0001D11E", true, "语音 \xF0\x9D\x84\x9E"},
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3), true, "a\\x00b"},
        {"tab\there\r\n\x1b[2J\x7f", L"tab\there\r\n\x1b[2J\x7f", true,
         "tab\\there\\r\\n\\x1b[2J\\x7f"},
        {"a\xff\x62", L"a" + bad + L"b", false, "a\xff\x62"},
        {"\xe8\xaf", bad + bad, false, "\xe8\xaf"},                               // cut short
        {"\xc0\xaf", bad + bad, false, "\xc0\xaf"},                               // overlong
        {"\xed\xa0\x80", bad + bad + bad, false, "\xed\xa0\x80"},                 // a surrogate
        {"\xf4\x90\x80\x80", bad + bad + bad + bad, false, "\xf4\x90\x80\x80"}};  // past U+10FFFF
    for (const auto& [narrow, wide, utf8, line] : rows) {
        EXPECT_EQ(platform::toWide(narrow), wide) << line;
        EXPECT_EQ(platform::isUtf8(narrow), utf8) << line;
        EXPECT_EQ(platform::singleLine(narrow), line);
        EXPECT_EQ(platform::fromWide(wide) == narrow, utf8) << line;
    }
    // Lone surrogates are no text; a pair is one character only in UTF-16.
    const std::string replaced = "\xEF\xBF\xBD";
    EXPECT_EQ(platform::fromWide(
                  {wchar_t(0xDC00), L'a', wchar_t(0xD834), wchar_t(0xDD1E), wchar_t(0xD800)}),
              replaced + "a" + (sizeof(wchar_t) == 2 ? "\xF0\x9D\x84\x9E" : replaced + replaced) +
                  replaced);
}

// The log's UTC times, at instants whose calendar is known.
TEST(Text, LogTimesInUtcToTheMillisecond) {
    const std::pair<long long, const char*> rows[] = {{0, "1970-01-01T00:00:00.000Z"},
                                                      {-1, "1969-12-31T23:59:59.999Z"},
                                                      {951782400123, "2000-02-29T00:00:00.123Z"},
                                                      {1709164800000, "2024-02-29T00:00:00.000Z"},
                                                      {4102444799999, "2099-12-31T23:59:59.999Z"}};
    for (const auto& [millis, text] : rows) {
        auto instant = std::chrono::system_clock::time_point(std::chrono::milliseconds(millis));
        EXPECT_EQ(platform::logTimestamp(instant), text) << millis;
    }
}

// Windows command lines quote only what needs it; os-release names the system.
TEST(Text, CommandLinesAndReleaseNames) {
    const std::pair<std::vector<std::string>, const char*> lines[] = {
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
    for (const auto& [argv, line] : lines) {
        EXPECT_EQ(platform::windowsCommandLine(argv), line) << line;
    }
    const std::pair<const char*, const char*> names[] = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n",
         "Debian GNU/Linux 12 (bookworm)"},
        {"NAME=Fedora\nVERSION=\"39 (Workstation Edition)\"\n", "Fedora 39 (Workstation Edition)"},
        {"NAME='Alpine Linux'\n", "Alpine Linux"},
        {"# comment\nPRETTY_NAME=\"Say \\\"hi\\\" \\$x\"\n", "Say \"hi\" $x"},
        {"ID=debian\nno equals\nPRETTY_NAME=Arch Linux", "Arch Linux"},
        {"ID=debian\n", ""},
    };
    for (const auto& [text, name] : names) {
        EXPECT_EQ(platform::parseOsReleaseName(text), name) << text;
    }
}

// Paths split and made absolute as written; lines; numbers with a "." in
// every C locale (a German one, where the system has it, writes "1,50").
TEST(Text, PathsLinesAndNumbers) {
    const char sep = platform::kPathSep;
    using Parts = std::pair<std::string, std::vector<std::string>>;
    std::vector<std::pair<std::string, Parts>> paths = {
        {"/a/b", {std::string(1, sep), {"a", "b"}}},
        {"a//./b/", {"", {"a", "b"}}},
        {"../x", {"", {"..", "x"}}},
        {"", {"", {}}},
    };
    if (sep == '\\') {
        paths.push_back({"C:\\x/y", {"C:\\", {"x", "y"}}});
        paths.push_back({"C:", {"C:\\", {}}});
        paths.push_back({"\\\\srv\\share\\d", {"\\\\srv\\share\\", {"d"}}});
    }
    for (const auto& [path, parts] : paths) {
        platform::PathParts got = platform::pathParts(path);
        EXPECT_EQ(Parts(got.root, got.names), parts) << path;
    }
    std::string here = platform::absolutePath(".");
    EXPECT_EQ(platform::absolutePath("a/../b/./c"), here + sep + "b" + sep + "c");
    EXPECT_EQ(platform::absolutePath(here + "/x/.././y"), here + sep + "y");
    EXPECT_EQ(platform::linesOf("a\nb\n"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(platform::linesOf("\nx\r\n"), (std::vector<std::string>{"", "x\r"}));
    EXPECT_TRUE(platform::linesOf("").empty());
    for (const char* locale : {"C", "de_DE.UTF-8", "German_Germany.1252"}) {
        if (std::setlocale(LC_NUMERIC, locale) == nullptr) {
            continue;
        }
        EXPECT_EQ(platform::formatNumber("%.2f", 1536.0 / 1024), "1.50") << locale;
        EXPECT_EQ(platform::formatNumber("%.2f", 0.999), "1.00") << locale;
        EXPECT_EQ(platform::formatNumber("%g", 1234.5), "1234.5") << locale;
    }
    std::setlocale(LC_NUMERIC, "C");
}

// Windows' proxy settings as its settings page writes them.
TEST(Text, ProxyListsAndBypassLists) {
    const std::tuple<const char*, const char*, const char*> lists[] = {
        {"127.0.0.1:3128", "https", "http://127.0.0.1:3128"},
        {"http=a:80;https=b:443", "https", "http://b:443"},
        {"http=a:80 https=b:443", "http", "http://a:80"},
        {"c:8080;HTTPS=b:443", "https", "http://b:443"},
        {"ftp=f:21;c:8080", "https", "http://c:8080"},
        {"http=a:80", "https", ""},
        {"https://secure:8443", "https", "https://secure:8443"},
    };
    for (const auto& [list, scheme, proxy] : lists) {
        EXPECT_EQ(platform::proxyForScheme(list, scheme), proxy) << list << " " << scheme;
    }
    const std::tuple<const char*, const char*, bool> bypass[] = {
        {"", "http://127.0.0.1:8080/x", true},
        {"<-loopback>", "http://127.0.0.1:8080/x", false},
        {"<local>", "http://intranet/x", true},
        {"<local>", "http://intranet.corp/x", false},
        {"*.corp.example", "https://files.corp.example/p.rar", true},
        {"*.corp.example", "https://corp.example/p.rar", false},
        {"10.*;192.168.*", "http://192.168.1.9/", true},
        {"cdn.example:8080", "http://cdn.example:8080/", true},
        {"https://cdn.example", "http://cdn.example/", false},
        {"HTTPS://CDN.example", "https://user@cdn.example:443/", true},
        {"cdn.example", "https://cdn.example.evil.test/", false},
        {"*", "https://anything/", true},
    };
    for (const auto& [list, url, bypasses] : bypass) {
        EXPECT_EQ(platform::bypassesProxy(list, url), bypasses) << list << " " << url;
    }
}

// Streamed, new, read, locked (even by its own process), moved, never through
// a link; digests, free space and libraries.
TEST_F(System, FilesDigestsSpaceAndLibraries) {
    auto path = [this](const std::string& name) { return env.root + platform::kPathSep + name; };
    std::string file = path("pack age 新.rar");
    for (const char* part : {"old", "+new"}) {
        platform::FileHandle out = platform::openFileForAppend(file);
        EXPECT_EQ(platform::fileSize(out), part[0] == 'o' ? 0 : 3);
        EXPECT_EQ(platform::appendToFile(out, part, std::strlen(part)), IoError::None);
        platform::closeFile(out);
        platform::closeFile(out);
        EXPECT_TRUE(platform::fileSize(out) < 0 &&
                    platform::appendToFile(out, "x", 1) != IoError::None);
    }
    platform::FileHandle in = platform::openFileForReading(file);
    char start[2] = {};
    std::string rest = platform::readSome(in, start, 2) == 2 ? platform::readAll(in, 4) : "";
    EXPECT_EQ(std::string(start, 2) + rest + std::to_string(platform::readSome(in, start, 2)),
              "old+ne0");
    platform::closeFile(in);
    platform::FileHandle made = platform::createNewFile(path("lock"));
    bool busy = false;
    platform::FileHandle lock = platform::lockFile(path("lock"), busy);
    EXPECT_TRUE(platform::truncateFile(made, 2) && lock.isOpen() && !busy);
    EXPECT_TRUE(!platform::createNewFile(file).isOpen() &&
                !platform::lockFile(path("lock"), busy).isOpen() && busy)
        << "held, even if by this process";
    platform::closeFile(lock);
    platform::closeFile(made);
    lock = platform::lockFile(path("lock"), busy);
    EXPECT_TRUE(lock.isOpen() && !busy) << "free once closed";
    platform::closeFile(lock);

    testsupport::writeFile(path("target"), "target");
    std::error_code noLink;
    fs::create_symlink(fs::u8path(path("target")), fs::u8path(path("link")), noLink);
    std::string to = path(noLink ? "target" : "link");
    EXPECT_FALSE(platform::createNewFile(to).isOpen());
    if (!noLink) {
        EXPECT_FALSE(platform::openFileForAppend(to).isOpen() ||
                     platform::openFileForReading(to).isOpen() ||
                     platform::lockFile(to, busy).isOpen());
    }
    EXPECT_EQ(platform::moveReplacing(path("lock"), to), IoError::None);
    EXPECT_EQ(testsupport::readFile(path("target")), noLink ? std::string(2, '\0') : "target");
    EXPECT_NE(platform::moveReplacing(file, env.dataHome), IoError::None) << "a folder stays";
    std::string fresh = platform::makeFreshFolder(env.root, "fresh-");
    EXPECT_TRUE(fresh.rfind(path("fresh-"), 0) == 0 && fs::is_directory(fs::u8path(fresh)) &&
                fresh != platform::makeFreshFolder(env.root, "fresh-") &&
                platform::makeFreshFolder(path("missing"), "fresh-").empty());
    EXPECT_TRUE(platform::fileExists(file) && platform::removeFile(file) &&
                platform::removeFile(file));
    EXPECT_FALSE(platform::fileExists(file) || platform::fileExists("") ||
                 platform::openFileForAppend(path("missing/x")).isOpen() ||
                 platform::openFileForAppend(env.root).isOpen());

    platform::Sha256 nothing, abc;
    abc.add("a", 1);
    abc.add("bc", 2);
    EXPECT_EQ(nothing.hex(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(abc.hex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::optional<platform::DiskSpace> space = platform::diskSpace(env.root);
    EXPECT_TRUE(space && space->freeBytes <= space->totalBytes && !platform::diskSpace(""));
    void* unrar = platform::loadLibrary(platform::unrarLibraryName());
    EXPECT_TRUE(unrar && platform::librarySymbol(unrar, "RARGetDllVersion") &&
                !platform::librarySymbol(unrar, "NoSuchFunction") && !platform::loadLibrary("no"));
}

// Values of any length read back whole, under names of any case.
TEST_F(System, RegistryKnownFoldersAndPrograms) {
    const std::pair<const char*, std::string> values[] = {
        {"big", std::string(9999, 'x') + "E"}, {"empty", ""}, {"withNul", std::string("a\0b", 3)}};
    for (const auto& [name, value] : values) {
        ASSERT_TRUE(platform::registryWrite(kKey, name, value));
        EXPECT_EQ(platform::registryRead(kKey, name), value) << name;
    }
    ASSERT_TRUE(platform::registryWrite("SOFTWARE\\ZOROZAVUZADO", "PcId", "two"));
    EXPECT_EQ(platform::registryRead("software\\zorozavuzado", "PCID"), "two");
    EXPECT_FALSE(platform::registryRead("SOFTWARE\\Other", "pcId") ||
                 platform::registryRead(kKey, "missing"));
    EXPECT_TRUE(platform::registryDelete(kKey, "PCID"));
    EXPECT_FALSE(platform::registryRead(kKey, "pcId") || platform::registryDelete(kKey, "pcId"));

    // The environment's own folders (on Windows a Chinese desktop); a missing one is none.
    EXPECT_EQ(platform::localAppDataDir() + "|" + platform::roamingAppDataDir() + "|" +
                  platform::desktopDir(),
              env.stateHome + "|" + env.dataHome + "|" + env.desktop);
    EXPECT_EQ(platform::programFilePath(), testsupport::buildToolPath("platform_test"));
    EXPECT_FALSE(platform::startDetached({}) || platform::startDetached({"no-such-program-here"}));
    env.hideLocalAppData();
    EXPECT_EQ(platform::localAppDataDir() + "|" + platform::roamingAppDataDir(),
              "|" + env.dataHome);
}

}  // namespace
