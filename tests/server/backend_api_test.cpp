// The running backend: the three client queries, the event store as clients
// fill it and list it, the reply faults, start-up refusals and a clean stop.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace {

using nlohmann::json;
using testsupport::BackendProcess;
using testsupport::runTool;

class BackendApiTest : public testsupport::IsolatedTest {
  protected:
    void SetUp() override { testsupport::writeFile(packagePath, package); }

    std::unique_ptr<BackendProcess> start(const std::vector<std::string>& options = {}) {
        auto backend = std::make_unique<BackendProcess>(env.root, packagePath, 0, options);
        EXPECT_TRUE(backend->ready()) << backend->log();
        return backend;
    }
    static httplib::Client client(const BackendProcess& backend) {
        return httplib::Client("127.0.0.1", backend.port());
    }

    // The "obj" of a successful envelope; fails the test otherwise.
    static json objOf(const httplib::Result& res) {
        EXPECT_TRUE(res && res->status == 200);
        json reply = res ? json::parse(res->body, nullptr, false) : json();
        EXPECT_EQ(reply.value("success", json()), json("1")) << (res ? res->body : "");
        return reply.is_object() && reply.contains("obj") ? reply["obj"] : json();
    }

    const std::string packagePath = env.root + "/pkg.rar";
    const std::string package = testsupport::randomBytes(3 << 20);
};

TEST_F(BackendApiTest, QueriesAnswerFromThePackageAndOptions) {
    auto backend = start();
    auto http = client(*backend);
    // The installer inserts values unencoded; a client library encodes them.
    std::string query = "?apkChannel=guanwang&apkId=1&phoneOsVersion=Windows%20XP%20%E4%B8%AD";
    json info = objOf(http.Get(("/v1/app/client/getInstallInfo" + query).c_str()));
    EXPECT_EQ(info["size"], std::to_string(package.size()));
    EXPECT_EQ(info["version"], "2.0.1");
    EXPECT_EQ(info["url"], backend->url() + "/client/win/mainprogram/win-ia32-unpacked.rar");
    EXPECT_EQ(objOf(http.Get(("/v1/app/client/getSize" + query).c_str())),
              std::to_string(package.size()));
    EXPECT_EQ(objOf(http.Get("/v1/app/client/getApkChannel", {{"promoteid", "p42"}})),
              json({{"promoteId", "p42"}, {"apkChannel", "guanwang"}}));

    std::filesystem::create_directories(env.root + "/other");
    BackendProcess other(
        env.root + "/other", packagePath, 0,
        {"--version", "3.0.0", "--channel=baidu", "--package-url", "http://cdn.example/a.rar"});
    ASSERT_TRUE(other.ready()) << other.log();
    auto otherHttp = client(other);
    info = objOf(otherHttp.Get("/v1/app/client/getInstallInfo"));
    EXPECT_EQ(info["url"], "http://cdn.example/a.rar");
    EXPECT_EQ(info["version"], "3.0.0");
    EXPECT_EQ(objOf(otherHttp.Get("/v1/app/client/getApkChannel"))["apkChannel"], "baidu");
}

TEST_F(BackendApiTest, EventsAreStoredAndListedInOrder) {
    const std::string chinese = "{\"btnId\":\"pc_show_install\",\"name\":\"语音文字\"}";
    {
        auto backend = start();
        auto http = client(*backend);
        EXPECT_EQ(objOf(http.Post("/v1/app/operationLog/saveLog", {{"promoteid", "77"}}, chinese,
                                  "application/json;charset=utf-8")),
                  json());
        objOf(http.Post("/v1/app/operationLog/saveLog", "plain", "text/plain"));
        EXPECT_TRUE(backend->logHas("POST /v1/app/operationLog/saveLog status=200"));
        backend->process().kill(SIGTERM);
        EXPECT_EQ(backend->process().wait(), 0);
    }
    auto listed = runTool({testsupport::backendProgram(), "--db", "events.db", "--list-events"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    std::istringstream lines(listed.out);
    std::vector<json> events;
    for (std::string line; std::getline(lines, line);) {
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
    auto backend = start({"--status", "/v1/app/client/getSize=500", "--reply",
                          "/v1/app/client/getApkChannel={\"success\":1,\"obj\":[",
                          "--redirect=/v1/app/client/getInstallInfo=/elsewhere"});
    auto http = client(*backend);
    auto status = http.Get("/v1/app/client/getSize?x=1");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->status, 500);
    EXPECT_FALSE(status->body.empty());
    auto reply = http.Get("/v1/app/client/getApkChannel", {{"Range", "bytes=5-"}});
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(reply->body, "{\"success\":1,\"obj\":[");
    auto redirect = http.Get("/v1/app/client/getInstallInfo");
    ASSERT_TRUE(redirect);
    EXPECT_EQ(redirect->status, 302);
    EXPECT_EQ(redirect->get_header_value("Location"), "/elsewhere");
    objOf(http.Post("/v1/app/operationLog/saveLog", "{}", "application/json"));
}

TEST_F(BackendApiTest, StallHoldsOnlyTheNamedPathAndSignalsStillStopIt) {
    auto backend = start({"--stall", "600", "--stall-path", "/v1/app/client/getSize"});
    auto stalled = client(*backend);
    stalled.set_read_timeout(0, 300000);
    EXPECT_FALSE(stalled.Get("/v1/app/client/getSize"));
    objOf(client(*backend).Get("/v1/app/client/getApkChannel"));
    backend->process().kill(SIGINT);
    EXPECT_EQ(backend->process().wait(), 0);
}

TEST_F(BackendApiTest, StartUpRefusals) {
    auto first = start();
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
        {{"--port", std::to_string(first->port()), "--package", packagePath, "--db", "other.db"},
         1,
         "already in use"},
    };
    for (Row row : rows) {
        row.args.insert(row.args.begin(), testsupport::backendProgram());
        auto result = runTool(row.args);
        EXPECT_EQ(result.exitCode, row.exitCode) << row.message;
        EXPECT_NE(result.err.find(row.message), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(result.out, "") << row.message;
    }
    auto help = runTool({testsupport::backendProgram(), "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--drop-after"), std::string::npos);
}

}  // namespace
