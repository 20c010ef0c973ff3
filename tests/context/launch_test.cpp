// Launch parameters, server choice, the context's backend requests and the
// existing-install check, against real servers on 127.0.0.1.
#include <curl/curl.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "context/installer_context.h"
#include "platform/platform.h"
#include "tests/support/backend_process.h"
#include "tests/support/local_server.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;
using testsupport::LocalServer;
using testsupport::readFile;
using testsupport::SeenRequest;

namespace {

const char* const kKey = "SOFTWARE\\ZorozAvuzado";

// A backend answering the three queries and the event log.
struct FakeBackend {
    explicit FakeBackend(std::string installInfo, std::string channel = "huawei") {
        server.http.Get("/v1/app/client/getInstallInfo",
                        [installInfo](const httplib::Request&, httplib::Response& res) {
                            res.set_content(installInfo, "application/json");
                        });
        server.http.Get("/v1/app/client/getApkChannel", [channel](const httplib::Request&,
                                                                  httplib::Response& res) {
            if (channel == "<500>") {
                res.status = 500;
                return;
            }
            res.set_content(
                R"({"success":"1","obj":{"promoteId":"1","apkChannel":")" + channel + "\"}}",
                "application/json");
        });
        server.answerJson("/v1/app/client/getSize", R"({"success":"1","obj":"367001600"})");
        server.acceptEvents();
        server.start();
    }
    std::vector<std::string> paths() {
        std::vector<std::string> result;
        for (const SeenRequest& seen : server.requests()) {
            result.push_back(seen.path);
        }
        return result;
    }
    LocalServer server;
};

std::string installInfoReply(const std::string& url, const std::string& version) {
    return R"({"success":"1","obj":{"size":"1610612736","url":")" + url + R"(","version":")" +
           version + "\"}}";
}

class LaunchParameters : public IsolatedTest {
  protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_ALL); }
    void SetUp() override { std::filesystem::create_directories(env.stateHome + "/hobnarAudio"); }

    LaunchServers serversOf(FakeBackend& production, FakeBackend& test) {
        return {{production.server.url(), production.server.url() + "/prod.rar"},
                {test.server.url(), test.server.url() + "/test.rar"}};
    }
    std::string paramData() { return readFile(env.stateHome + "/hobnarAudio/paramdata"); }
};

TEST_F(LaunchParameters, NoArgumentsUseProductionAndTheDefaults) {
    FakeBackend production(R"({"success":"0"})"), test(R"({"success":"0"})");
    InstallerContext context;
    context.applyLaunchParameters("", "", serversOf(production, test));

    EXPECT_EQ(context.promoteId, "guanwang");
    EXPECT_FALSE(context.devMode);
    EXPECT_EQ(context.apiBaseUrl, production.server.url());
    EXPECT_EQ(context.packageUrl, production.server.url() + "/prod.rar");
    EXPECT_EQ(production.paths(), (std::vector<std::string>{"/v1/app/client/getInstallInfo",
                                                            "/v1/app/client/getApkChannel"}));
    EXPECT_TRUE(test.paths().empty());
    EXPECT_EQ(context.channel, "huawei");
    EXPECT_EQ(readRegistryString(kKey, "promoteId"), "guanwang");
    EXPECT_EQ(readRegistryString(kKey, "devMode"), "0");
    EXPECT_EQ(platform::registryRead(kKey, "version"), std::string());
    EXPECT_EQ(readRegistryString(kKey, "channel"), "huawei");
    EXPECT_EQ(readRegistryString(kKey, "logOpen"), "1");
    EXPECT_EQ(paramData(), "FALSE,2.0.1,1," + context.pcId + "," + context.systemVersion +
                               ",guanwang,huawei,1,");
}

TEST_F(LaunchParameters, DevAnywhereSelectsTheTestServersCaseSensitively) {
    const std::pair<const char*, bool> rows[] = {
        {"setup_10086.exe dev", true}, {"-dev", true}, {"/devtest", true},
        {"x_dev1.exe", true},          {"DEV", false}, {"Dev setup", false},
    };
    for (const auto& [arguments, dev] : rows) {
        FakeBackend production(R"({})"), test(R"({})");
        InstallerContext context;
        context.applyLaunchParameters("10086", arguments, serversOf(production, test));
        EXPECT_EQ(context.devMode, dev) << arguments;
        EXPECT_EQ(context.apiBaseUrl, (dev ? test : production).server.url()) << arguments;
        EXPECT_EQ((dev ? production : test).paths().size(), 0u) << arguments;
        EXPECT_EQ(readRegistryString(kKey, "devMode"), dev ? "1" : "0");
        EXPECT_EQ(readRegistryString(kKey, "promoteId"), "10086");
        EXPECT_EQ(paramData().rfind(dev ? "TRUE," : "FALSE,", 0), 0u) << paramData();
    }
}

TEST_F(LaunchParameters, TheBackendsAnswersShapeTheRun) {
    FakeBackend production(installInfoReply("http://mirror.example/other.rar", "2.3.1"), "oppo");
    FakeBackend test(R"({})");
    InstallerContext context;
    context.applyLaunchParameters("", "", serversOf(production, test));

    EXPECT_EQ(context.packageUrl, "http://mirror.example/other.rar");
    EXPECT_EQ(context.version, "2.3.1");
    EXPECT_EQ(context.packageSizeText, "1.50GB");
    EXPECT_EQ(readRegistryString(kKey, "version"), "2.3.1");
    std::vector<SeenRequest> seen = production.server.requests();
    ASSERT_EQ(seen.size(), 2u);
    // The install-information request goes out before the version and channel are known.
    EXPECT_EQ(seen[0].params.find("apkVersionName")->second, "2.0.1");
    EXPECT_EQ(seen[0].params.find("apkChannel")->second, "guanwang");
    EXPECT_EQ(seen[1].params.find("apkVersionName")->second, "2.3.1");
    EXPECT_EQ(seen[1].params.find("apkChannel")->second, "guanwang");
    EXPECT_EQ(seen[1].params.find("phoneOsVersion")->second, context.systemVersion);
    EXPECT_EQ(seen[0].header("promoteid"), "guanwang");

    EXPECT_EQ(context.getSize(), "1.50GB") << "cached; no request";
    EXPECT_EQ(production.server.requests().size(), 2u);
}

TEST_F(LaunchParameters, AnUnansweredChannelQueryLeavesTheChannelEmpty) {
    FakeBackend production(R"(not json)", "<500>"), test(R"({})");
    InstallerContext context;
    context.applyLaunchParameters("", "", serversOf(production, test));
    EXPECT_EQ(context.channel, "");
    EXPECT_EQ(platform::registryRead(kKey, "channel"), std::string());
    EXPECT_EQ(paramData(),
              "FALSE,2.0.1,1," + context.pcId + "," + context.systemVersion + ",guanwang,,1,");
    EXPECT_EQ(context.packageUrl, production.server.url() + "/prod.rar");

    EXPECT_EQ(context.getSize(), "350.00MB") << "asked now, with the empty channel";
    EXPECT_EQ(production.server.requests().back().params.find("apkChannel")->second, "");
}

TEST_F(LaunchParameters, EventsCarryTheRunsFactsToTheLogEndpoint) {
    FakeBackend production(installInfoReply("http://x/a.rar", "2.3.1"), "oppo"), test(R"({})");
    InstallerContext context;
    context.systemVersion = "Debian GNU/Linux 12 (bookworm)";
    context.applyLaunchParameters("10086", "", serversOf(production, test));
    context.reportEvent(0, "pc_show_install");

    SeenRequest event = production.server.requests().back();
    EXPECT_EQ(event.method, "POST");
    EXPECT_EQ(event.path, "/v1/app/operationLog/saveLog");
    EXPECT_EQ(event.header("promoteid"), "10086");
    const std::string expected =
        R"({"apkChannel":"oppo","apkId":1,"apkVersionCode":"10000","apkVersionName":"2.3.1",)"
        R"("btnId":"pc_show_install","deviceType":2,"pcId":")" +
        context.pcId +
        R"(","phoneMaker":"Microsoft","phoneModel":"Windows","phoneOs":2,)"
        R"x("phoneOsVersion":"Debian GNU/Linux 12 (bookworm)","type":0,)x"
        R"("userAgent":"Microsoft/Windows"})";
    EXPECT_EQ(event.body, expected);
    EXPECT_EQ(production.server.requests()[0].params.find("phoneOsVersion")->second,
              "Debian GNU/Linux 12 (bookworm)")
        << "a name with blanks reaches the server through a real request";
}

class ExistingInstall : public IsolatedTest {
  protected:
    // A product that records the path it was started as.
    std::string installProduct(const std::string& folder) {
        std::string exe = folder + platform::kPathSep + "hobnarAudio.exe";
        EXPECT_TRUE(testsupport::installPathRecorder(exe));
        return exe;
    }
    bool startedWithin(const std::string& folder, int seconds) {
        for (int i = 0; i < seconds * 100; ++i) {
            if (!readFile(folder + "/started").empty()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

TEST_F(ExistingInstall, StartsTheInstalledProductOnlyWhenEverythingMatches) {
    const std::string sep(1, platform::kPathSep);
    std::string folder = env.dataHome + sep + "my apps; $(touch pwned)" + sep + "win-ia32-unpacked";
    std::string exe = installProduct(folder);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(InstallerContext().launchInstalledIfPresent()) << "clean machine";
    writeRegistryString(kKey, "DisplayPath", exe);
    // The version compared is the one recorded before this run's backend
    // announced its own.
    writeRegistryString(kKey, "version", "2.0.2");
    InstallerContext beforeTheBackend;
    writeRegistryString(kKey, "version", "2.0.1");
    EXPECT_FALSE(beforeTheBackend.launchInstalledIfPresent());
    for (const char* recorded : {"2.0.2", "2.0", ""}) {
        writeRegistryString(kKey, "version", recorded);
        EXPECT_FALSE(InstallerContext().launchInstalledIfPresent()) << recorded;
    }
    writeRegistryString(kKey, "version", "2.0.1");
    std::filesystem::rename(exe, exe + ".moved");
    EXPECT_FALSE(InstallerContext().launchInstalledIfPresent()) << "file deleted";
    std::string quiet = testing::internal::GetCapturedStderr();
    EXPECT_EQ(quiet.find("explorer"), std::string::npos);

    std::filesystem::rename(exe + ".moved", exe);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(InstallerContext().launchInstalledIfPresent());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "QvmAudioDownCall: explorer \"" + exe + "\"\n");
    ASSERT_TRUE(startedWithin(folder, 10));
    EXPECT_EQ(readFile(folder + "/started"), exe + "\n");
    EXPECT_FALSE(std::filesystem::exists(env.root + "/pwned"));
}

}  // namespace
