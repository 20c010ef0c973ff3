// The running backend: the three client queries, the event store as clients
// fill it and list it, the reply faults, start-up refusals and a clean stop.
#include <gtest/gtest.h>
#include <algorithm>
#include <csignal>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tests/server/backend_process.h"
#include "tests/support/test_env.h"

namespace {

using nlohmann::json;
using servertest::BackendProcess;

class BackendApiTest : public testsupport::IsolatedTest {
  protected:
    void SetUp() override { package = servertest::makePackage(env.root + "/pkg.rar", 3 << 20); }

    std::vector<std::string> withPackage(std::vector<std::string> args) {
        args.insert(args.begin(), {"--package", env.root + "/pkg.rar"});
        return args;
    }

    // The "obj" of a successful envelope; fails the test otherwise.
    static json objOf(const httplib::Result& res) {
        EXPECT_TRUE(res && res->status == 200);
        json reply = res ? json::parse(res->body, nullptr, false) : json();
        EXPECT_EQ(reply.value("success", json()), json("1")) << (res ? res->body : "");
        return reply.is_object() && reply.contains("obj") ? reply["obj"] : json();
    }

    std::string package;
};

TEST_F(BackendApiTest, QueriesAnswerFromThePackageAndOptions) {
    BackendProcess backend(withPackage({}));
    ASSERT_TRUE(backend.listening()) << backend.stderrText();
    auto client = backend.client();
    // The installer inserts values unencoded; a client library encodes them.
    std::string query = "?apkChannel=guanwang&apkId=1&phoneOsVersion=Windows%20XP%20%E4%B8%AD";

    json info = objOf(client.Get(("/v1/app/client/getInstallInfo" + query).c_str()));
    EXPECT_EQ(info["size"], std::to_string(package.size()));
    EXPECT_EQ(info["version"], "2.0.1");
    EXPECT_EQ(info["url"], backend.url(servertest::kPackageRoute));
    auto viaUrl = client.Get(info["url"].get<std::string>().substr(backend.url("").size()).c_str());
    ASSERT_TRUE(viaUrl);
    EXPECT_EQ(viaUrl->body, package);

    EXPECT_EQ(objOf(client.Get(("/v1/app/client/getSize" + query).c_str())),
              std::to_string(package.size()));
    json channel = objOf(client.Get("/v1/app/client/getApkChannel", {{"promoteid", "p42"}}));
    EXPECT_EQ(channel, json({{"promoteId", "p42"}, {"apkChannel", "guanwang"}}));
}

TEST_F(BackendApiTest, OptionsReplaceTheAnsweredValues) {
    BackendProcess backend(withPackage(
        {"--version", "3.0.0", "--channel=baidu", "--package-url", "http://cdn.example/a.rar"}));
    ASSERT_TRUE(backend.listening()) << backend.stderrText();
    auto client = backend.client();
    json info = objOf(client.Get("/v1/app/client/getInstallInfo"));
    EXPECT_EQ(info["url"], "http://cdn.example/a.rar");
    EXPECT_EQ(info["version"], "3.0.0");
    EXPECT_EQ(objOf(client.Get("/v1/app/client/getApkChannel"))["apkChannel"], "baidu");
}

TEST_F(BackendApiTest, EventsAreStoredAndListedInOrder) {
    const std::string chinese = "{\"btnId\":\"pc_show_install\",\"name\":\"语音文字\"}";
    {
        BackendProcess backend(withPackage({}));
        ASSERT_TRUE(backend.listening()) << backend.stderrText();
        auto client = backend.client();
        auto first = client.Post("/v1/app/operationLog/saveLog", {{"promoteid", "77"}}, chinese,
                                 "application/json;charset=utf-8");
        EXPECT_EQ(objOf(first), json());
        objOf(client.Post("/v1/app/operationLog/saveLog", "plain", "text/plain"));
        EXPECT_NE(backend.stderrText().find("POST /v1/app/operationLog/saveLog status=200"),
                  std::string::npos);
        backend.process().kill(SIGTERM);
        EXPECT_EQ(backend.process().wait(), 0);
    }
    auto listed = servertest::runBackend({"--db", "events.db", "--list-events"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    std::istringstream lines(listed.out);
    std::string line;
    std::vector<json> events;
    while (std::getline(lines, line)) {
        events.push_back(json::parse(line, nullptr, false));
    }
    ASSERT_EQ(events.size(), 2u) << listed.out;
    EXPECT_EQ(events[0]["body"], chinese);
    EXPECT_EQ(events[0]["promoteid"], "77");
    EXPECT_EQ(events[0]["contentType"], "application/json;charset=utf-8");
    EXPECT_EQ(events[0]["receivedAt"].get<std::string>().back(), 'Z');
    EXPECT_EQ(events[1]["body"], "plain");
    EXPECT_TRUE(events[1]["promoteid"].is_null());
    EXPECT_LT(events[0]["id"], events[1]["id"]);
}

TEST_F(BackendApiTest, ReplyFaultsReplaceTheNormalAnswer) {
    BackendProcess backend(withPackage({"--status", "/v1/app/client/getSize=500", "--reply",
                                        "/v1/app/client/getApkChannel={\"success\":1,\"obj\":[",
                                        "--redirect=/v1/app/client/getInstallInfo=/elsewhere"}));
    ASSERT_TRUE(backend.listening()) << backend.stderrText();
    auto client = backend.client();
    auto status = client.Get("/v1/app/client/getSize?x=1");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->status, 500);
    EXPECT_FALSE(status->body.empty());
    auto reply = client.Get("/v1/app/client/getApkChannel", {{"Range", "bytes=5-"}});
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(reply->body, "{\"success\":1,\"obj\":[");
    auto redirect = client.Get("/v1/app/client/getInstallInfo");
    ASSERT_TRUE(redirect);
    EXPECT_EQ(redirect->status, 302);
    EXPECT_EQ(redirect->get_header_value("Location"), "/elsewhere");
    objOf(client.Post("/v1/app/operationLog/saveLog", "{}", "application/json"));
}

TEST_F(BackendApiTest, StallHoldsOnlyTheNamedPathAndSignalsStillStopIt) {
    BackendProcess backend(
        withPackage({"--stall", "600", "--stall-path", "/v1/app/client/getSize"}));
    ASSERT_TRUE(backend.listening()) << backend.stderrText();
    auto stalled = backend.client();
    stalled.set_read_timeout(0, 300000);
    EXPECT_FALSE(stalled.Get("/v1/app/client/getSize"));
    objOf(backend.client().Get("/v1/app/client/getApkChannel"));
    backend.process().kill(SIGINT);
    EXPECT_EQ(backend.process().wait(), 0);
}

TEST_F(BackendApiTest, ATakenPortIsRefused) {
    BackendProcess first(withPackage({}));
    ASSERT_TRUE(first.listening()) << first.stderrText();
    auto second = servertest::runBackend(
        withPackage({"--port", std::to_string(first.port), "--db", "other.db"}));
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("already in use"), std::string::npos) << second.err;
    EXPECT_EQ(second.out, "");
}

TEST_F(BackendApiTest, StartUpRefusals) {
    struct Row {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    };
    const std::vector<Row> rows = {
        {{"--port", "0", "--package", env.root + "/absent.rar"}, 2, "absent.rar"},
        {{"--port", "0", "--package", env.root}, 2, "not a regular file"},
        {{"--port", "0", "--package", "p", "--status", "/x"}, 2, "--status needs PATH=CODE"},
        {{"--db", env.root + "/none.db", "--list-events"}, 1, "none.db"},
    };
    for (const Row& row : rows) {
        auto result = servertest::runBackend(row.args);
        EXPECT_EQ(result.exitCode, row.exitCode) << row.message;
        EXPECT_NE(result.err.find(row.message), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    auto help = servertest::runBackend({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--drop-after"), std::string::npos);
}

}  // namespace
