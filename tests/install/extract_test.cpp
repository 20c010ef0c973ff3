// Extraction of archives made here by the real rar, one row per kind of
// archive: what lands in the product folder, what is refused, and what is
// left of the archive.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <vector>

#include "install/extract.h"
#include "platform/platform.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

using testsupport::ChildProcess;
using testsupport::readFile;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace {

// A name written with "/" as the UnRAR library reports it on this system.
std::string native(std::string name) {
    std::replace(name.begin(), name.end(), '/', platform::kPathSep);
    return name;
}

TEST(EntryPaths, OnlyRelativeNamesWithoutParentSteps) {
    const std::pair<const char*, bool> rows[] = {
        {"hobnarAudio.exe", true},
        {"resources/app.asar", true},
        {"a/./b..c/..d", true},
        {"语音/文字.txt", true},
        {"../evil.txt", false},
        {"sub/../../evil.txt", false},
        {"sub/..", false},
        {"..\\evil.txt", false},
        {"sub\\..\\..\\evil.txt", false},
        {"/etc/passwd", false},
        {"\\Windows\\evil.dll", false},
        {"C:evil.dll", false},
        {"C:\\evil.dll", false},
        {"..", false},
        {"", false},
    };
    for (const auto& [name, contained] : rows) {
        EXPECT_EQ(isContainedEntryPath(name), contained) << name;
    }
}

class Extraction : public testsupport::IsolatedTest {
  public:
    void addSource(const std::string& name, const std::string& content) {
        fs::create_directories(fs::u8path(source + "/" + name).parent_path());
        writeFile(source + "/" + name, content);
    }
    // rar is a program of the build machine: it gets the paths as it sees them.
    void rar(std::vector<std::string> arguments) {
        for (std::string& argument : arguments) {
            if (argument.rfind(env.root, 0) == 0) {
                argument = testsupport::hostPath(argument);
            }
        }
        arguments.insert(arguments.begin(), {"rar"});
        ChildProcess child(arguments, env.root + "/rar.out", env.root + "/rar.err");
        ASSERT_EQ(child.wait(120), 0)
            << readFile(env.root + "/rar.out") << readFile(env.root + "/rar.err");
    }
    // Everything below the source folder, paths stored relative to it, links kept.
    void packSourceTree() {
        rar({"a", "-idq", "-r", "-ep1", "-ol", archive, testsupport::hostPath(source) + "/*"});
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
    std::vector<std::string> printed;  // in order; empty: not checked
    std::string failedEntry;
    bool archiveKept = false;
};

std::string thirdEntry() {
    std::string third;
    for (int i = 0; i < 400; ++i) {
        third += "THIRD-ENTRY-DATA/" + std::to_string(i);
    }
    return third;
}

// One safe entry, then a hostile one: a stored name climbing out, or a link
// whose target does.
std::function<void(Extraction&)> hostile(std::string storedName, std::string linkTarget) {
    return [storedName, linkTarget](Extraction& t) {
        t.addSource("a.txt", "safe");
        if (linkTarget.empty()) {
            t.addSource("b.txt", "hostile");
        } else {
            // Made by the build machine, where rar reads it.
            std::string target =
                linkTarget == "OUTSIDE" ? testsupport::hostPath(t.outside) : linkTarget;
            ASSERT_EQ(testsupport::runTool(
                          {"ln", "-s", target, testsupport::hostPath(t.source + "/link")})
                          .exitCode,
                      0);
        }
        t.rar({"a", "-idq", "-ol", "-ep1", t.archive, t.source + "/a.txt",
               t.source + (linkTarget.empty() ? "/b.txt" : "/link")});
        if (linkTarget.empty()) {
            t.rar({"rn", "-idq", t.archive, "b.txt", storedName});
        }
    };
}

const ArchiveRow kArchives[] = {
    {"DamagedThirdEntry",
     [](Extraction& t) {
         for (const char* name : {"1.txt", "2.txt", "4.txt"}) {
             t.addSource(name, name);
         }
         t.addSource("3.txt", thirdEntry());
         t.rar({"a", "-idq", "-m0", "-ep1", t.archive, t.source + "/1.txt", t.source + "/2.txt",
                t.source + "/3.txt", t.source + "/4.txt"});
         std::string bytes = readFile(t.archive);
         size_t inside = bytes.find("THIRD-ENTRY-DATA/200");
         ASSERT_NE(inside, std::string::npos);
         bytes[inside] = static_cast<char>(bytes[inside] ^ 0x5A);
         writeFile(t.archive, bytes);
     },
     ExtractStatus::DamagedEntry,
     {"1.txt", "2.txt", "3.txt"},
     "3.txt"},
    {"EncryptedEntries",
     [](Extraction& t) {
         t.addSource("secret.txt", "hidden");
         t.rar({"a", "-idq", "-ep1", "-psecret", t.archive, t.source + "/secret.txt"});
     },
     ExtractStatus::Encrypted,
     {"secret.txt"},
     "secret.txt"},
    {"EncryptedHeaders",
     [](Extraction& t) {
         t.addSource("secret.txt", "hidden");
         t.rar({"a", "-idq", "-ep1", "-hpsecret", t.archive, t.source + "/secret.txt"});
     },
     ExtractStatus::Encrypted,
     {},
     ""},
    {"NotAnArchive",
     [](Extraction& t) { writeFile(t.archive, "<html>404 Not Found</html>"); },
     ExtractStatus::NotAnArchive,
     {},
     "",
     true},
    {"NoArchiveAtAll", [](Extraction&) {}, ExtractStatus::NotAnArchive, {}, "", false},
    {"NameClimbsOut",
     hostile("../outside.txt", ""),
     ExtractStatus::UnsafeEntry,
     {"a.txt", "../outside.txt"},
     "../outside.txt"},
    {"NameClimbsOutFromBelow",
     hostile("sub/../../outside.txt", ""),
     ExtractStatus::UnsafeEntry,
     {"a.txt", "sub/../../outside.txt"},
     "sub/../../outside.txt"},
    {"LinkClimbsOut",
     hostile("", "../outside.txt"),
     ExtractStatus::UnsafeEntry,
     {"a.txt", "link"},
     "link"},
    {"LinkClimbsOutFromBelow",
     hostile("", "sub/../../../outside.txt"),
     ExtractStatus::UnsafeEntry,
     {"a.txt", "link"},
     "link"},
    {"LinkToAnAbsolutePath",
     hostile("", "OUTSIDE"),
     ExtractStatus::UnsafeEntry,
     {"a.txt", "link"},
     "link"},
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
    writeFile(outside, "untouched");
    ASSERT_NO_FATAL_FAILURE(row.make(*this));
    std::string before = platform::fileExists(archive) ? readFile(archive) : "";
    std::ostringstream names;
    testing::internal::CaptureStderr();
    ExtractResult result = extractArchive(archive, product, names);
    std::string log = testing::internal::GetCapturedStderr();

    EXPECT_EQ(result.status, row.status) << describeExtractStatus(result.status);
    EXPECT_EQ(result.failedEntry, native(row.failedEntry));
    if (!row.printed.empty()) {
        std::string expected;
        for (const std::string& name : row.printed) {
            expected += native(name) + "\n";
        }
        EXPECT_EQ(names.str(), expected);
        EXPECT_EQ(result.entriesWritten, static_cast<int>(row.printed.size()) - 1);
        if (row.printed.size() > 1) {
            EXPECT_EQ(readFile(product + "/" + row.printed[0]),
                      row.printed[0] == "a.txt" ? "safe" : "1.txt");
        }
    }
    EXPECT_EQ(readFile(outside), "untouched");
    EXPECT_FALSE(fs::exists(fs::symlink_status(product + "/link")));
    EXPECT_FALSE(fs::exists(product + "/4.txt"));
    EXPECT_EQ(platform::fileExists(archive), row.archiveKept);
    if (row.archiveKept) {
        EXPECT_EQ(readFile(archive), before);
    }
    EXPECT_FALSE(fs::exists(product + "/secret.txt"));
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
    ASSERT_EQ(testsupport::runTool({"ln", "-s", "locales/deep/er/zh-CN.pak",
                                    testsupport::hostPath(source + "/alias.pak")})
                  .exitCode,
              0);
    fs::create_directories(product);
    packSourceTree();

    std::ostringstream names;
    ExtractResult result = extractArchive(archive, product, names);
    EXPECT_TRUE(result.ok()) << describeExtractStatus(result.status);
    for (const auto& [name, content] : files) {
        EXPECT_TRUE(readFile(product + "/" + name) == content) << name;
    }
    if (platform::kPathSep == '/') {
        // Where the system keeps symbolic links, a link inside stays a link.
        EXPECT_TRUE(fs::is_symlink(fs::u8path(product + "/alias.pak")));
        EXPECT_TRUE(readFile(product + "/alias.pak") == std::string(70000, 'z'));
    }
    std::set<std::string> printed;
    std::istringstream lines(names.str());
    for (std::string line; std::getline(lines, line);) {
        printed.insert(line);
    }
    std::set<std::string> expected;
    for (const char* name : {"hobnarAudio.exe", "locales", "locales/deep", "locales/deep/er",
                             "locales/deep/er/zh-CN.pak", "语音", "语音/文字 转换.txt",
                             "Ünïcødé $(x) ;'q'.txt", "alias.pak"}) {
        expected.insert(native(name));
    }
    EXPECT_EQ(printed, expected);
    EXPECT_EQ(result.entriesWritten, 9);
    EXPECT_FALSE(fs::exists(archive));
}

}  // namespace
