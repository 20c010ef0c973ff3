#include <filesystem>

#include "app/startup.h"
#include "platform/platform.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;
using namespace app;
using testsupport::readFile;

namespace {

TEST(PromotionId, CutFromTheArgumentText) {
    const std::pair<const char*, const char*> rows[] = {
        {"setup.exe", ""},
        {"setup_10086.exe", "10086"},
        {"setup_10086(1).exe", "10086"},
        {"a_b_c", "c"},
        {"v1.2_77", "77"},
        {"p_1.2.exe", "1.2"},
        {"x_.exe", ""},
        {"x_(2).exe", ""},
        {"setup_10086.exe dev", "10086"},
        {"--silent setup_中文.exe", "中文"},
        // It travels in a header and in comma-separated files.
        {"setup_a,b\x01(2).exe", "a;b"},
    };
    for (const auto& [text, id] : rows) {
        EXPECT_EQ(promotionIdFrom(text), id) << text;
    }
}

class BdvidData : public IsolatedTest {};

TEST_F(BdvidData, HoldsExactlyTheLastIdAndIsWrittenOnlyWhereLocalAppDataIs) {
    std::string file = env.stateHome + "/hobnarAudio/bdviddata";
    std::filesystem::remove_all(std::filesystem::u8path(env.stateHome + "/hobnarAudio"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(extractPromoteId("setup_10086.exe"), "10086");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "QvmAudioDownCall: 该文件夹不存在，已自动创建\n");
    EXPECT_EQ(readFile(file), "10086");

    testing::internal::CaptureStderr();
    EXPECT_EQ(extractPromoteId("other_7.exe"), "7");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(readFile(file), "7");

    EXPECT_EQ(extractPromoteId(""), "");
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(file)));
    EXPECT_EQ(readFile(file), "");

    // No local application-data folder at all: none configured here, a
    // missing one on Windows (whose shell reports none for it).
    testsupport::setEnv("HOME", nullptr);
    testsupport::setEnv("XDG_STATE_HOME", nullptr);
    std::filesystem::remove_all(std::filesystem::u8path(env.stateHome));
    testing::internal::CaptureStderr();
    EXPECT_EQ(extractPromoteId("setup_10086.exe"), "10086");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "QvmAudioDownCall: You'll need error handling here!\n");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(env.root)) {
        EXPECT_NE(entry.path().filename(), "bdviddata") << entry.path();
    }
    EXPECT_FALSE(std::filesystem::exists(
        std::filesystem::u8path(platform::kPathSep + std::string("hobnarAudio"))));
}

class SkinLocation : public IsolatedTest {};

TEST_F(SkinLocation, BesideTheProgramElseInstalledBesideBin) {
    std::string prefix = env.root + "/usr";
    std::string bin = prefix + "/bin/";
    std::filesystem::create_directories(bin);
    EXPECT_EQ(skinFolderFor(bin), bin + "skin") << "nothing found: the folder beside the program";
    testsupport::writeFile(prefix + "/share/hobnar-setup/skin/main.xml", "<Window/>");
    EXPECT_EQ(skinFolderFor(bin), bin + "../share/hobnar-setup/skin");
    testsupport::writeFile(bin + "skin/main.xml", "<Window/>");
    EXPECT_EQ(skinFolderFor(bin), bin + "skin");
}

}  // namespace
