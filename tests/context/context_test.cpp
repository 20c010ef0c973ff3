// The installer context against one real server on 127.0.0.1, which plays the
// production servers ("/prod": install information of 2.3.1, channel "oppo")
// and the test servers ("/test": no usable install information or channel).
#include <curl/curl.h>

#include <filesystem>

#include "backend/backend.h"
#include "context/installer_context.h"
#include "identity/identity.h"
#include "platform/platform.h"
#include "tests/support/backend_process.h"
#include "tests/support/local_server.h"
#include "tests/support/test_env.h"

using testsupport::readFile;
using namespace context;
using testsupport::writeFile;

namespace {

const char* const kKey = "SOFTWARE\\ZorozAvuzado";
const std::string kId = "0123456789abcdef0123456789abcdef";
const std::string kSep(1, platform::kPathSep);
const std::string kHex = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
// "sha256" members of the install information at "/dN", and the digest ("!": none, said so).
const std::pair<std::string, std::string> kDigests[] = {
    {"", ""},
    {R"(,"sha256":")" + kHex + "\"", kHex},
    {R"(,"sha256":"0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF")", kHex},
    {R"(,"sha256":")" + kHex.substr(1) + "\"", "!"},
    {R"(,"sha256":")" + kHex.substr(1) + "g\"", "!"},
    {R"(,"sha256":5)", "!"}};

std::string installInfo(const std::string& digest) {
    return R"({"success":"1","obj":{"size":"1610612736","url":"http://mirror.example/other.rar",)"
           R"("version":"2.3.1")" +
           digest + "}}";
}

class Context : public testsupport::IsolatedTest {
  protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_ALL); }
    void SetUp() override {
        server.answerJson("/prod/v1/app/client/getInstallInfo", installInfo(""));
        server.answerJson("/prod/v1/app/client/getApkChannel",
                          R"({"success":"1","obj":{"promoteId":"1","apkChannel":"oppo"}})");
        for (size_t i = 0; i < std::size(kDigests); ++i) {
            server.answerJson("/d" + std::to_string(i) + "/v1/app/client/getInstallInfo",
                              installInfo(kDigests[i].first));
        }
        server.answerJson(R"(/\w+/v1/app/client/getSize)", R"({"success":"1","obj":"367001600"})");
        server.http.Post(R"(/\w+/v1/app/operationLog/saveLog)",
                         [](const httplib::Request&, httplib::Response&) {});
        server.start();
        writeFile(paramDataFile(), "");
    }
    std::string paramDataFile() const {
        return env.stateHome + kSep + "hobnarAudio" + kSep + "paramdata";
    }

    testsupport::LocalServer server;
};

// Only an identifier newGuidId could have made is adopted, from the registry,
// else paramdata's field 4; none, short, shifted by a comma, huge or upper
// case gets a fresh one.  The rest is written each time; an OS name stays.
TEST_F(Context, StartUpAdoptsOnlyWellFormedDeviceIds) {
    const std::string huge(10 << 20, 'a');
    const std::string rows[][3] = {
        {"", "", ""},
        {kId, "FALSE,2.0.1,1,fedcba9876543210fedcba9876543210,Windows7,7,x,1,", kId},
        {"", "FALSE,2.0.1,1," + kId + ",Windows XP Professional x64 Edition,7,x,1,", kId},
        {"1", "TRUE,2.0.1,1," + kId, kId},
        {"0123abcd", "   \n", ""},
        {kId + "0", "FALSE,2,0,1," + kId + ",Windows10,guanwang,guanwang,1,", ""},
        {huge, "FALSE,2.0.1,1," + huge + ",x", ""},
        {"0123456789ABCDEF0123456789ABCDEF", "a,b,c,0123456789ABCDEF0123456789ABCDEF", ""}};
    for (const auto& [stored, paramData, adopted] : rows) {
        platform::registryDelete(kKey, "pcId");
        ASSERT_TRUE(stored.empty() || platform::writeRegistryString(kKey, "pcId", stored));
        writeFile(paramDataFile(), paramData);
        InstallerContext context;
        EXPECT_TRUE(adopted.empty() ? isDeviceId(context.pcId) && context.pcId != kId
                                    : context.pcId == adopted)
            << stored.substr(0, 40) << " / " << paramData.substr(0, 40);
        EXPECT_EQ(platform::readRegistryString(kKey, "pcId"), context.pcId);
        EXPECT_EQ(context.systemVersion, identity::windowsVersionName());
    }
    std::string fixed;
    for (const char* name : {"apkId", "apkVersionCode", "phoneMaker", "phoneModel", "phoneOs"}) {
        fixed += platform::readRegistryString(kKey, name) + ",";
    }
    EXPECT_EQ(fixed + platform::readRegistryString(kKey, "selfPath"),
              "1,10000,Microsoft,Windows,2," + platform::programFilePath());
    platform::writeRegistryString(kKey, "systemVersion", "Windows7");
    platform::writeRegistryString(kKey, "version", "2.0.1");
    InstallerContext again;
    EXPECT_EQ(again.systemVersion + again.installedVersion + again.paramDataPath,
              "Windows72.0.1" + paramDataFile());
}

// A comma or a line break inside a value would shift the fields a later run
// reads back.
TEST_F(Context, ParamDataFieldsCarryNoCommaOrLineBreak) {
    InstallerContext context;
    context.version = "2,0";
    context.promoteId = "10,086";
    context.channel = "hua\r\nwei";
    context.writeParamData();
    EXPECT_EQ(readFile(paramDataFile()),
              "FALSE,2;0,1," + context.pcId + "," + context.systemVersion + ",10;086,huawei,1,");
}

// Without the folder there is no paramdata, and none elsewhere.  A failed
// registry write (a key no registry holds, a store that cannot be made) says so.
TEST_F(Context, WithoutLocalAppDataOrRegistry) {
    std::filesystem::remove_all(std::filesystem::u8path(env.stateHome));
    env.hideLocalAppData();
    testing::internal::CaptureStderr();
    InstallerContext context;
    context.writeParamData();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "QvmAudioDownCall: You'll need error handling here!\n");
    EXPECT_TRUE(context.paramDataPath.empty() && context.readPcIdFromParamData().empty());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(env.root)) {
        EXPECT_NE(entry.path().filename(), "hobnarAudio") << entry.path();
    }
    platform::writeRegistryString(kKey, "nul", std::string("ab\0cd", 5));
    EXPECT_EQ(platform::readRegistryString(kKey, "nul") +
                  platform::readRegistryString("SOFTWARE\\Nothing", "x"),
              "ab");
    writeFile(env.root + "/plain", "");
    testsupport::setEnv("HOBNAR_REGISTRY_DB", (env.root + "/plain/registry.db").c_str());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(platform::writeRegistryString("SOFTWARE\\" + std::string(300, 'k'), "x", "1"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "QvmAudioDownCall: 创建注册表失败\n");
}

// "dev" anywhere, in that case, picks the test servers, whose silence leaves
// the delivered version, the compiled-in package and no channel; all is
// recorded.  The start-up queries are queued: the install information is
// asked for before the version and channel are known, the channel with the
// version it brought, and an event queued behind them carries what the
// backend said.
TEST_F(Context, ParametersPickTheServersAndTheAnswersShapeTheRun) {
    const char* const rows[] = {
        "", "setup_10086.exe dev", "-dev", "/devtest", "x_dev1.exe", "DEV", "Dev setup"};
    std::string prod = server.url() + "/prod", test = server.url() + "/test";
    std::unique_ptr<InstallerContext> context;
    for (size_t i = 0; i < std::size(rows); ++i) {
        std::string id = i % 2 ? "10086" : "", arguments = rows[i];
        context = std::make_unique<InstallerContext>();
        context->applyLaunchParameters(id, arguments,
                                       {{prod, prod + "/p.rar"}, {test, test + "/t.rar"}});
        bool dev = arguments.find("dev") != std::string::npos;
        install::PackageFacts package = context->announcedPackage().get();
        ASSERT_TRUE(context->finishRequests(install::kNoDeadline));
        std::string promoteId = i % 2 ? id : "guanwang", channel = dev ? "" : "oppo";
        EXPECT_EQ(context->devMode, dev) << arguments;
        EXPECT_EQ(package.url, dev ? test + "/t.rar" : "http://mirror.example/other.rar");
        EXPECT_EQ(package.announced, !dev);
        EXPECT_EQ(context->getSize(), dev ? "350.00MB" : "1.50GB");
        std::string recorded;
        for (const char* name : {"promoteId", "devMode", "version", "channel", "logOpen"}) {
            recorded += platform::readRegistryString(kKey, name) + ",";
        }
        EXPECT_EQ(recorded, promoteId + (dev ? ",1,," : ",0,2.3.1,") + channel + ",1,")
            << arguments;
        EXPECT_EQ(readFile(paramDataFile()),
                  std::string(dev ? "TRUE,2.0.1," : "FALSE,2.3.1,") + "1," + context->pcId + "," +
                      context->systemVersion + "," + promoteId + "," + channel + ",1,");
    }
    context->reportEvent(0, "pc_show_install");
    ASSERT_TRUE(context->finishRequests(install::kNoDeadline));
    std::vector<testsupport::SeenRequest> seen = server.requests();
    EXPECT_EQ(seen[0].get_param_value("apkVersionName") + seen[0].get_param_value("apkChannel") +
                  seen[1].get_param_value("apkVersionName") + seen[1].get_param_value("apkChannel"),
              "2.0.1guanwang2.3.1guanwang");
    EXPECT_EQ(seen[1].get_param_value("phoneOsVersion"), context->systemVersion);
    EXPECT_EQ(seen.back().path + " " + seen.back().get_header_value("promoteid"),
              "/prod/v1/app/operationLog/saveLog guanwang");
    EXPECT_EQ(seen.back().body,
              backend::buildEventBody({"oppo", "1", "2.3.1", context->pcId, context->systemVersion},
                                      0, "pc_show_install"));
}

// 64 hex digits in either case are the digest; anything else is ignored.
TEST_F(Context, TheAnnouncedPackageDigest) {
    for (size_t i = 0; i < std::size(kDigests); ++i) {
        InstallerContext context;
        context.apiBaseUrl = server.url() + "/d" + std::to_string(i);
        testing::internal::CaptureStderr();
        context.getInstallInfo();
        std::string log = testing::internal::GetCapturedStderr();
        bool said = log.find("the announced package digest is malformed") != std::string::npos;
        EXPECT_EQ(context.packageSha256, kDigests[i].second == "!" ? "" : kDigests[i].second) << i;
        EXPECT_EQ(said, kDigests[i].second == "!") << i;
        EXPECT_EQ(context.packageSizeBytes, 1610612736) << i;
    }
}

// Only the product of the delivered version, recorded before this run's
// backend announced its own, and still there; started from an argument vector.
TEST_F(Context, AnInstalledProductStartsOnlyWhenEverythingMatches) {
    std::string folder = env.dataHome + kSep + "my apps; $(touch pwned)";
    std::string exe = folder + kSep + "hobnarAudio.exe";
    ASSERT_TRUE(testsupport::installPathRecorder(exe));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(InstallerContext().launchInstalledIfPresent()) << "clean machine";
    platform::writeRegistryString(kKey, "DisplayPath", exe);
    platform::writeRegistryString(kKey, "version", "2.0.2");
    InstallerContext beforeTheBackend;
    platform::writeRegistryString(kKey, "version", "2.0.1");
    EXPECT_FALSE(beforeTheBackend.launchInstalledIfPresent());
    for (const char* recorded : {"2.0.2", "2.0", ""}) {
        platform::writeRegistryString(kKey, "version", recorded);
        EXPECT_FALSE(InstallerContext().launchInstalledIfPresent()) << recorded;
    }
    platform::writeRegistryString(kKey, "version", "2.0.1");
    std::filesystem::rename(std::filesystem::u8path(exe), std::filesystem::u8path(exe + ".gone"));
    EXPECT_FALSE(InstallerContext().launchInstalledIfPresent()) << "file gone";
    std::filesystem::create_directory(std::filesystem::u8path(exe));
    EXPECT_FALSE(InstallerContext().launchInstalledIfPresent()) << "a folder under its name";
    std::filesystem::remove(std::filesystem::u8path(exe));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    std::filesystem::rename(std::filesystem::u8path(exe + ".gone"), std::filesystem::u8path(exe));
    testing::internal::CaptureStderr();
    EXPECT_TRUE(InstallerContext().launchInstalledIfPresent());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "QvmAudioDownCall: explorer \"" + exe + "\"\n");
    EXPECT_EQ(testsupport::awaitFile(folder + kSep + "started"), exe + "\n");
    EXPECT_FALSE(std::filesystem::exists(env.root + "/pwned"));
}

}  // namespace
