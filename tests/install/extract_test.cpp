// Extraction of archives made here by the real rar, one row per kind of
// archive: what lands in the product folder, what is refused, and what is
// left of the archive.
#include <filesystem>
#include <functional>

#include "install/extract.h"
#include "platform/platform.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

using namespace install;
using testsupport::nativePath;
using testsupport::readFile;
namespace fs = std::filesystem;

namespace {

// Collects the names extraction hands over, a line each; false stops it.
EntryCallback linesInto(std::string& names, bool goOn = true) {
    return [&names, goOn](const std::string& name) { return names += name + "\n", goOn; };
}

TEST(EntryPaths, OnlyRelativeNamesWithoutParentSteps) {
    for (const char* name :
         {"hobnarAudio.exe", "resources/app.asar", "a/./b..c/..d", "语音/文字.txt"}) {
        EXPECT_TRUE(isContainedEntryPath(name)) << name;
    }
    for (const char* name :
         {"../evil.txt", "sub/../../evil.txt", "sub/..", "..\\evil.txt", "sub\\..\\..\\evil.txt",
          "/etc/passwd", "\\Windows\\evil.dll", "C:evil.dll", "..", "", ".", "./", "a/../"}) {
        EXPECT_FALSE(isContainedEntryPath(name)) << name;
    }
    EXPECT_TRUE(isContainedEntryPath("a/" + std::string(255, 'n')));
    EXPECT_FALSE(isContainedEntryPath("a/" + std::string(256, 'n'))) << "longer than a file name";
}

class Extraction : public testsupport::IsolatedTest {
  public:
    void addSource(const std::string& name, const std::string& content) {
        testsupport::writeFile(source + "/" + name, content);
    }
    // Made by the build machine, where rar reads it.
    void addLink(const std::string& name, const std::string& target) {
        std::string at = testsupport::hostPath(source + "/" + name);
        ASSERT_EQ(testsupport::runTool({"ln", "-s", target, at}).exitCode, 0);
    }
    // rar is a program of the build machine: it gets the paths as it sees them.
    void rar(std::vector<std::string> arguments) {
        for (std::string& argument : arguments) {
            if (argument.rfind(env.root, 0) == 0) {
                argument = testsupport::hostPath(argument);
            }
        }
        arguments.insert(arguments.begin(), "rar");
        testsupport::ToolRun run = testsupport::runTool(arguments, 120);
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    }

    std::string source = env.root + "/source";
    std::string product = env.root + "/install/win-ia32-unpacked";
    std::string archive = product + ".rar";
    std::string outside = env.root + "/install/outside.txt";
};

struct ArchiveRow {
    const char* name;
    std::function<void(Extraction&)> make;
    ExtractStatus status;
    std::vector<std::string> printed;  // in order, the last one the entry that stopped it
    bool archiveKept = false;
};

std::function<void(Extraction&)> encrypted(const std::string& passwordOption) {
    return [passwordOption](Extraction& t) {
        t.addSource("secret.txt", "hidden");
        t.rar({"a", "-idq", "-ep1", passwordOption, t.archive, t.source + "/secret.txt"});
    };
}

const ArchiveRow kArchives[] = {
    {"DamagedThirdEntry",
     [](Extraction& t) {
         std::string third = testsupport::randomBytes(20000, 3);
         for (std::string name : {"1.txt", "2.txt", "3.txt", "4.txt"}) {
             t.addSource(name, name == "3.txt" ? third : name);
         }
         t.rar({"a", "-idq", "-m0", "-ep1", t.archive, t.source + "/1.txt", t.source + "/2.txt",
                t.source + "/3.txt", t.source + "/4.txt"});
         std::string bytes = readFile(t.archive);
         size_t inside = bytes.find(third.substr(10000, 64));
         ASSERT_NE(inside, std::string::npos);
         bytes[inside] = static_cast<char>(bytes[inside] ^ 0x5A);
         testsupport::writeFile(t.archive, bytes);
     },
     ExtractStatus::DamagedEntry,
     {"1.txt", "2.txt", "3.txt"}},
    {"EncryptedEntries", encrypted("-psecret"), ExtractStatus::Encrypted, {"secret.txt"}},
    {"EncryptedHeaders", encrypted("-hpsecret"), ExtractStatus::Encrypted, {}},
    {"NotAnArchive",
     [](Extraction& t) { testsupport::writeFile(t.archive, "<html>404 Not Found</html>"); },
     ExtractStatus::NotAnArchive,
     {},
     true},
    // One safe entry, then one whose stored name, or whose link target, climbs out.
    {"NameClimbsOut",
     [](Extraction& t) {
         t.addSource("a.txt", "safe");
         t.addSource("b.txt", "hostile");
         t.rar({"a", "-idq", "-ep1", t.archive, t.source + "/a.txt", t.source + "/b.txt"});
         t.rar({"rn", "-idq", t.archive, "b.txt", "../outside.txt"});
     },
     ExtractStatus::UnsafeEntry,
     {"a.txt", "../outside.txt"}},
    {"LinkClimbsOut",
     [](Extraction& t) {
         t.addSource("a.txt", "safe");
         t.addLink("link", "../outside.txt");
         t.rar({"a", "-idq", "-ol", "-ep1", t.archive, t.source + "/a.txt", t.source + "/link"});
     },
     ExtractStatus::UnsafeEntry,
     {"a.txt", "link"}},
};

void PrintTo(const ArchiveRow& row, std::ostream* out) {
    *out << row.name;
}

class ArchiveTable : public Extraction, public ::testing::WithParamInterface<ArchiveRow> {};

// Entries are written in order up to the one that stops the loop; nothing
// ever lands outside the product folder; an archive that opened is deleted.
TEST_P(ArchiveTable, StopsAtTheFirstBadEntry) {
    const ArchiveRow& row = GetParam();
    fs::create_directories(product);
    testsupport::writeFile(outside, "untouched");
    ASSERT_NO_FATAL_FAILURE(row.make(*this));
    std::string before = readFile(archive);
    std::string names;
    testing::internal::CaptureStderr();
    ExtractResult result = extractArchive(archive, product, linesInto(names));
    std::string log = testing::internal::GetCapturedStderr();

    EXPECT_EQ(result.status, row.status) << describeExtractStatus(result.status);
    std::string expected;
    for (const std::string& name : row.printed) {
        expected += nativePath(name) + "\n";
    }
    EXPECT_EQ(names, expected);
    EXPECT_EQ(result.failedEntry, row.printed.empty() ? "" : nativePath(row.printed.back()));
    EXPECT_EQ(result.entriesWritten, std::max(0, static_cast<int>(row.printed.size()) - 1));
    EXPECT_EQ(readFile(outside), "untouched");
    EXPECT_FALSE(fs::exists(fs::symlink_status(product + "/link")));
    EXPECT_FALSE(fs::exists(product + "/secret.txt"));
    EXPECT_EQ(platform::fileExists(archive), row.archiveKept);
    EXPECT_TRUE(!row.archiveKept || readFile(archive) == before);
    if (row.status == ExtractStatus::NotAnArchive) {
        EXPECT_NE(log.find("QvmAudioDownCall: RAROpenArchiveEx err\n"), std::string::npos) << log;
    }
}

INSTANTIATE_TEST_SUITE_P(Archives, ArchiveTable, ::testing::ValuesIn(kArchives),
                         [](const ::testing::TestParamInfo<ArchiveRow>& row) {
                             return std::string(row.param.name);
                         });

// Wide names (non-ASCII letters, blanks, shell characters) keep their
// letters on disk and are printed one per line; a link inside stays a link.
TEST_F(Extraction, NestedFoldersAndWideNamesLandUnderTheProductFolder) {
    const std::pair<std::string, std::string> files[] = {
        {"hobnarAudio.exe", "MZ main"},
        {"locales/deep/er/zh-CN.pak", std::string(70000, 'z')},
        {"语音/文字 转换.txt", "中文"},
        {"Ünïcødé $(x) ;'q'.txt", "latin"},
    };
    for (const auto& [name, content] : files) {
        addSource(name, content);
    }
    addLink("alias.pak", "locales/deep/er/zh-CN.pak");
    fs::create_directories(product);
    // Everything below the source folder, paths stored relative to it, links kept.
    rar({"a", "-idq", "-r", "-ep1", "-ol", archive, testsupport::hostPath(source) + "/*"});

    // A caller that stops before the first entry keeps the archive.
    std::string names;
    EXPECT_EQ(extractArchive(archive, product, linesInto(names, false)).status,
              ExtractStatus::Stopped);
    ASSERT_TRUE(fs::exists(archive));
    names.clear();
    ExtractResult result = extractArchive(archive, product, linesInto(names));
    EXPECT_TRUE(result.ok()) << describeExtractStatus(result.status);
    for (const auto& [name, content] : files) {
        EXPECT_TRUE(readFile(product + "/" + name) == content) << name;
    }
    if (platform::kPathSep == '/') {
        // Where the system keeps symbolic links, a link inside stays a link.
        EXPECT_TRUE(fs::is_symlink(fs::u8path(product + "/alias.pak")));
        EXPECT_TRUE(readFile(product + "/alias.pak") == std::string(70000, 'z'));
    }
    for (const char* name : {"hobnarAudio.exe", "locales", "locales/deep", "locales/deep/er",
                             "locales/deep/er/zh-CN.pak", "语音", "语音/文字 转换.txt",
                             "Ünïcødé $(x) ;'q'.txt", "alias.pak"}) {
        EXPECT_NE(("\n" + names).find("\n" + nativePath(name) + "\n"), std::string::npos)
            << name << " was not printed on a line of its own";
    }
    EXPECT_EQ(result.entriesWritten, 9);
    EXPECT_FALSE(fs::exists(archive));
}

}  // namespace
