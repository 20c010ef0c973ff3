#include <filesystem>
#include <thread>

#include "context/installer_context.h"
#include "identity/identity.h"
#include "platform/platform.h"
#include "tests/support/registry_log.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;
using testsupport::readFile;
using testsupport::RegistryWriteLog;
using testsupport::writeFile;

namespace {

const char* const kKey = "SOFTWARE\\ZorozAvuzado";

// The order of the writes is checked where the registry lets it be observed.
void expectWriteOrder(RegistryWriteLog& log, const std::vector<std::string>& names) {
    if (log.observable()) {
        EXPECT_EQ(log.names(), names);
    }
}

class InstallerContextTest : public IsolatedTest {
  protected:
    std::string paramDataFile() const {
        return env.stateHome + platform::kPathSep + "hobnarAudio" + platform::kPathSep +
               "paramdata";
    }
};

TEST_F(InstallerContextTest, FirstRunOnACleanMachineCreatesTheIdentity) {
    RegistryWriteLog log(env);
    InstallerContext context;

    EXPECT_EQ(context.pcId.size(), 32u);
    EXPECT_EQ(context.pcId.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(context.systemVersion, identity::windowsVersionName());
    expectWriteOrder(log, {"apkId", "pcId", "systemVersion", "apkVersionCode", "phoneMaker",
                           "phoneModel", "phoneOs", "selfPath"});
    EXPECT_EQ(readRegistryString(kKey, "pcId"), context.pcId);
    EXPECT_EQ(readRegistryString(kKey, "apkId"), "1");
    EXPECT_EQ(readRegistryString(kKey, "phoneOs"), "2");
    EXPECT_EQ(readRegistryString(kKey, "selfPath"), platform::programFilePath());
    EXPECT_EQ(context.paramDataPath, paramDataFile());
    EXPECT_EQ(context.installedVersion, "");
}

TEST_F(InstallerContextTest, SecondRunReusesTheStoredIdentity) {
    RegistryWriteLog log(env);
    std::string firstId = InstallerContext().pcId;
    writeRegistryString(kKey, "systemVersion", "Windows7");
    writeRegistryString(kKey, "version", "2.0.1");
    writeFile(paramDataFile(), "FALSE,2.0.1,1,fromparamdata,Windows7,guanwang,guanwang,1,");
    log.clear();

    InstallerContext second;
    EXPECT_EQ(second.pcId, firstId);
    EXPECT_EQ(second.systemVersion, "Windows7") << "a stored name stays in use";
    EXPECT_EQ(second.installedVersion, "2.0.1");
    expectWriteOrder(
        log, {"apkId", "apkVersionCode", "phoneMaker", "phoneModel", "phoneOs", "selfPath"});
}

TEST_F(InstallerContextTest, IdentityComesBackFromParamData) {
    EXPECT_EQ(InstallerContext().readPcIdFromParamData(), "") << "no file";
    for (const char* unusable : {"", "   \n", "TRUE,2.0.1"}) {
        writeFile(paramDataFile(), unusable);
        EXPECT_EQ(InstallerContext().readPcIdFromParamData(), "") << unusable;
    }
    platform::registryDelete(kKey, "pcId");
    const std::string id = "0123456789abcdef0123456789abcdef";
    writeFile(paramDataFile(),
              "FALSE,2.0.1,1," + id + ",Windows XP Professional x64 Edition,7,x,1,");
    InstallerContext recovered;
    EXPECT_EQ(recovered.pcId, id);
    EXPECT_EQ(readRegistryString(kKey, "pcId"), id);

    // Only what newGuidId could have made is adopted, from either source: an
    // empty field, a field shifted by a comma in the version, a huge one.
    const std::string unusable[] = {"",
                                    "1",
                                    "0123abcd",
                                    id + "0",
                                    std::string(10 << 20, 'a'),
                                    "0123456789ABCDEF0123456789ABCDEF"};
    for (const std::string& bad : unusable) {
        ASSERT_TRUE(writeRegistryString(kKey, "pcId", bad));
        writeFile(paramDataFile(), "FALSE,2,0,1," + bad + ",Windows10,guanwang,guanwang,1,");
        InstallerContext fresh;
        EXPECT_TRUE(isDeviceId(fresh.pcId) && fresh.pcId != bad) << bad.substr(0, 40);
        EXPECT_EQ(readRegistryString(kKey, "pcId"), fresh.pcId);
    }
}

TEST(ParamDataWord, FieldFour) {
    const std::pair<const char*, const char*> rows[] = {
        {"FALSE,2.0.1,1,ab12,Windows7,10086,guanwang,1,", "ab12"},
        {"TRUE,2.0.1,1,ab12", "ab12"},
        {"a,b,c,d,", "d"},
        {"FALSE,2.0.1,1,,Windows10,guanwang,guanwang,1,", ""},
        {"a,b,c,", ""},
        {"a,b,c", ""},
        {"a,b", ""},
        {"", ""},
        {",,,x", "x"},
    };
    for (const auto& [word, field] : rows) {
        EXPECT_EQ(pcIdFromParamDataWord(word), field) << word;
    }
}

TEST_F(InstallerContextTest, ParamDataLineIsExact) {
    InstallerContext context;
    context.devMode = true;
    context.pcId = "ab12";
    context.systemVersion = "Windows7";
    context.promoteId = "10086";
    std::filesystem::create_directories(env.stateHome + "/hobnarAudio");
    context.writeParamData();
    EXPECT_EQ(readFile(paramDataFile()), "TRUE,2.0.1,1,ab12,Windows7,10086,guanwang,1,");

    context.devMode = false;
    context.version = "2.3.0";
    context.systemVersion = "Windows XP Professional x64 Edition";
    context.writeParamData();
    EXPECT_EQ(readFile(paramDataFile()),
              "FALSE,2.3.0,1,ab12,Windows XP Professional x64 Edition,10086,guanwang,1,");
    EXPECT_EQ(context.readPcIdFromParamData(), "ab12")
        << "a blank in field 5 leaves field 4 intact";
}

TEST_F(InstallerContextTest, WithoutLocalAppDataNothingIsWrittenElsewhere) {
    env.hideLocalAppData();
    testing::internal::CaptureStderr();
    InstallerContext context;
    std::string log = testing::internal::GetCapturedStderr();

    EXPECT_NE(log.find("QvmAudioDownCall: You'll need error handling here!\n"), std::string::npos);
    EXPECT_EQ(context.paramDataPath, "");
    context.writeParamData();
    EXPECT_EQ(context.readPcIdFromParamData(), "");
    EXPECT_EQ(context.pcId.size(), 32u);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(env.root)) {
        std::string name = entry.path().filename().string();
        EXPECT_TRUE(name != "paramdata" && name != "hobnarAudio") << entry.path();
    }
    EXPECT_FALSE(std::filesystem::exists("/hobnarAudio"));
}

TEST_F(InstallerContextTest, RegistryStrings) {
    writeRegistryString(kKey, "long", std::string(300, 'v'));
    EXPECT_EQ(readRegistryString(kKey, "long"), std::string(300, 'v'));
    writeRegistryString(kKey, "nul", std::string("ab\0cd", 5));
    EXPECT_EQ(readRegistryString(kKey, "nul"), "ab");
    writeRegistryString(kKey, "empty", "");
    EXPECT_EQ(platform::registryRead(kKey, "empty"), std::string());
    EXPECT_EQ(readRegistryString("SOFTWARE\\Nothing", "x"), "");

    env.breakRegistry(kKey);
    testing::internal::CaptureStderr();
    writeRegistryString(kKey, "x", "1");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "QvmAudioDownCall: 创建注册表失败\n");
}

TEST_F(InstallerContextTest, InstanceIsOneObjectForEveryThread) {
    std::vector<InstallerContext*> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = &InstallerContext::instance(); });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (InstallerContext* context : seen) {
        EXPECT_EQ(context, seen[0]);
    }
    EXPECT_EQ(readRegistryString(kKey, "pcId"), seen[0]->pcId);
}

}  // namespace
