#include <filesystem>
#include <set>
#include <sstream>
#include <vector>

#include "install/install.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

using testsupport::ChildProcess;
using testsupport::IsolatedTest;
using testsupport::readFile;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace {

TEST(EntryPaths, OnlyRelativeNamesWithoutParentSteps) {
    struct Row {
        const char* name;
        bool contained;
    } rows[] = {
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
    for (const Row& row : rows) {
        EXPECT_EQ(isContainedEntryPath(row.name), row.contained) << row.name;
    }
}

// Archives are made here, from files the test writes, by the real rar.
class Extraction : public IsolatedTest {
  protected:
    void SetUp() override {
        product = productFolderFor(env.root + "/install");
        archive = archivePathFor(product);
        ASSERT_TRUE(createProductFolder(product));
    }

    void addSource(const std::string& name, const std::string& content) {
        fs::create_directories(fs::path(source + "/" + name).parent_path());
        writeFile(source + "/" + name, content);
    }

    void rar(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"rar"});
        ChildProcess child(arguments, env.root + "/rar.out", env.root + "/rar.err");
        ASSERT_EQ(child.wait(120), 0)
            << readFile(env.root + "/rar.out") << readFile(env.root + "/rar.err");
    }
    // Everything below the source folder, paths stored relative to it.
    void packSourceTree() { rar({"a", "-idq", "-r", "-ep1", "-ol", archive, source + "/*"}); }

    ExtractResult extract() {
        names.str("");
        return extractArchive(archive, product, names);
    }
    std::vector<std::string> printedNames() const {
        std::vector<std::string> lines;
        std::istringstream in(names.str());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    std::string source = env.root + "/source";
    std::string product;
    std::string archive;
    std::ostringstream names;
};

// Wide names (non-ASCII letters, blanks, shell characters) keep their
// letters on disk and are printed one per line.
TEST_F(Extraction, NestedFoldersAndWideNamesLandUnderTheProductFolder) {
    const std::pair<std::string, std::string> files[] = {
        {"hobnarAudio.exe", "MZ main"},
        {"resources/app/main.js", "console.log(1)"},
        {"locales/deep/er/zh-CN.pak", std::string(70000, 'z')},
        {"语音/文字 转换.txt", "中文"},
        {"Ünïcødé $(x) ;'q'.txt", "latin"},
    };
    for (const auto& [name, content] : files) {
        addSource(name, content);
    }
    fs::create_symlink("locales/deep/er/zh-CN.pak", source + "/alias.pak");  // stays inside
    packSourceTree();

    ExtractResult result = extract();
    EXPECT_TRUE(result.ok()) << describeExtractStatus(result.status);
    for (const auto& [name, content] : files) {
        EXPECT_EQ(readFile(product + "/" + name), content) << name;
    }
    EXPECT_TRUE(fs::is_symlink(product + "/alias.pak"));
    EXPECT_EQ(readFile(product + "/alias.pak"), std::string(70000, 'z'));
    std::vector<std::string> printed = printedNames();
    std::set<std::string> expected = {"hobnarAudio.exe",
                                      "resources",
                                      "resources/app",
                                      "resources/app/main.js",
                                      "locales",
                                      "locales/deep",
                                      "locales/deep/er",
                                      "locales/deep/er/zh-CN.pak",
                                      "语音",
                                      "语音/文字 转换.txt",
                                      "Ünïcødé $(x) ;'q'.txt",
                                      "alias.pak"};
    EXPECT_EQ(std::set<std::string>(printed.begin(), printed.end()), expected);
    EXPECT_EQ(printed.size(), expected.size());
    EXPECT_EQ(result.entriesWritten, static_cast<int>(expected.size()));
    EXPECT_FALSE(fs::exists(archive));
}

// rar erases an archive that loses its last entry, so the empty archive is
// cut from a real one: signature and main header, then the end-of-archive
// header, without the file header and data between them.
TEST_F(Extraction, EmptyArchivePrintsNothingAndIsDeleted) {
    addSource("only.txt", "x");
    rar({"a", "-idq", "-m0", "-ep1", archive, source + "/only.txt"});
    std::string bytes = readFile(archive);
    ASSERT_GT(bytes.size(), 20u);
    ASSERT_EQ(bytes.compare(0, 8, std::string("Rar!\x1a\x07\x01\x00", 8)), 0);
    // Main header: CRC32, then its size as a variable-length integer.
    size_t at = 12, headerSize = 0;
    for (unsigned shift = 0;; shift += 7, ++at) {
        headerSize |= (static_cast<size_t>(bytes[at]) & 0x7F) << shift;
        if ((static_cast<unsigned char>(bytes[at]) & 0x80) == 0) {
            break;
        }
    }
    size_t mainEnd = at + 1 + headerSize;
    writeFile(archive, bytes.substr(0, mainEnd) + bytes.substr(bytes.size() - 8));

    ExtractResult result = extract();
    EXPECT_TRUE(result.ok()) << describeExtractStatus(result.status);
    EXPECT_EQ(result.entriesWritten, 0);
    EXPECT_EQ(names.str(), "");
    EXPECT_TRUE(fs::is_empty(product));
    EXPECT_FALSE(fs::exists(archive));
}

TEST_F(Extraction, DamagedThirdEntryStopsTheLoop) {
    const std::string marker = "THIRD-ENTRY-DATA/";
    std::string third;
    for (int i = 0; i < 400; ++i) {
        third += marker + std::to_string(i);
    }
    addSource("1.txt", "first");
    addSource("2.txt", "second");
    addSource("3.txt", third);
    addSource("4.txt", "fourth");
    rar({"a", "-idq", "-m0", "-ep1", archive, source + "/1.txt", source + "/2.txt",
         source + "/3.txt", source + "/4.txt"});
    std::string bytes = readFile(archive);
    size_t inside = bytes.find(marker + "200");
    ASSERT_NE(inside, std::string::npos);
    bytes[inside] = static_cast<char>(bytes[inside] ^ 0x5A);
    writeFile(archive, bytes);

    testing::internal::CaptureStderr();
    ExtractResult result = extract();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.status, ExtractStatus::DamagedEntry);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.entriesWritten, 2);
    EXPECT_EQ(result.failedEntry, "3.txt");
    EXPECT_EQ(names.str(), "1.txt\n2.txt\n3.txt\n");
    EXPECT_EQ(readFile(product + "/1.txt"), "first");
    EXPECT_EQ(readFile(product + "/2.txt"), "second");
    EXPECT_NE(readFile(product + "/3.txt"), third);
    EXPECT_FALSE(fs::exists(product + "/4.txt"));
    EXPECT_FALSE(fs::exists(archive));
}

TEST_F(Extraction, NonArchiveIsKeptAndLogged) {
    writeFile(archive, "<html><body>404 Not Found</body></html>");
    testing::internal::CaptureStderr();
    ExtractResult result = extract();
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.status, ExtractStatus::NotAnArchive);
    EXPECT_NE(log.find("QvmAudioDownCall: RAROpenArchiveEx err\n"), std::string::npos) << log;
    EXPECT_EQ(readFile(archive), "<html><body>404 Not Found</body></html>");
    EXPECT_EQ(names.str(), "");

    fs::remove(archive);
    testing::internal::CaptureStderr();
    EXPECT_EQ(extract().status, ExtractStatus::NotAnArchive);
    testing::internal::GetCapturedStderr();
}

// Each row makes one archive whose second entry is hostile; the first, safe
// entry is written, the hostile one never lands anywhere.
TEST_F(Extraction, EntriesCannotEscapeTheProductFolder) {
    const std::string outside = env.root + "/install/outside.txt";
    struct Row {
        const char* storedName;  // empty: a symbolic link to `linkTarget` named "link"
        std::string linkTarget;
    } rows[] = {
        {"../outside.txt", ""}, {"sub/../../outside.txt", ""},
        {"", "../outside.txt"}, {"", "sub/../../../outside.txt"},
        {"", outside},
    };
    writeFile(outside, "untouched");
    for (const Row& row : rows) {
        fs::remove_all(source);
        addSource("a.txt", "safe");
        if (row.storedName[0] != '\0') {
            addSource("b.txt", "hostile");
        } else {
            fs::create_symlink(row.linkTarget, source + "/link");
        }
        rar({"a", "-idq", "-ol", "-ep1", archive, source + "/a.txt",
             source + (row.storedName[0] != '\0' ? "/b.txt" : "/link")});
        if (row.storedName[0] != '\0') {
            rar({"rn", "-idq", archive, "b.txt", row.storedName});
        }
        testing::internal::CaptureStderr();
        ExtractResult result = extract();
        testing::internal::GetCapturedStderr();
        std::string hostile = row.storedName[0] != '\0' ? row.storedName : "link";
        EXPECT_EQ(result.status, ExtractStatus::UnsafeEntry) << hostile << " " << row.linkTarget;
        EXPECT_EQ(result.failedEntry, hostile);
        EXPECT_EQ(result.entriesWritten, 1);
        EXPECT_EQ(readFile(product + "/a.txt"), "safe");
        EXPECT_FALSE(fs::exists(fs::symlink_status(product + "/link")));
        EXPECT_EQ(readFile(outside), "untouched");
        EXPECT_FALSE(fs::exists(archive));
    }
}

}  // namespace
