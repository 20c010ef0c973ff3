// The transport against real servers on 127.0.0.1.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>

#include "backend/backend.h"
#include "tests/support/local_server.h"

namespace {

using testsupport::LocalServer;

class Transport : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_ALL); }

    void SetUp() override {
        for (int status : {200, 201, 204, 404, 500, 302}) {
            server.http.Get("/status/" + std::to_string(status),
                            [status](const httplib::Request&, httplib::Response& res) {
                                res.status = status;
                                res.set_content("body of " + std::to_string(status), "text/plain");
                            });
        }
        server.http.Get("/moved", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/status/200");
        });
        server.http.Get("/moved-to-missing", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/status/404");
        });
        server.http.Post("/moved", [](const httplib::Request&, httplib::Response& res) {
            res.status = 302;
            res.set_header("Location", "/status/200");
            res.set_content("redirect body", "text/plain");
        });
        server.http.Post("/error", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("<h1>server error</h1>", "text/html");
        });
        server.http.Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.body, "application/json");
        });
        server.http.Get("/cut", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(1000, "text/plain",
                                     [](size_t, size_t, httplib::DataSink& sink) {
                                         sink.write("partial", 7);
                                         return false;  // the connection drops here
                                     });
        });
        server.http.Get("/bytes", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string("\xff\x00\xfe not utf-8", 14), "application/octet-stream");
        });
        server.start();
    }

    LocalServer server;
};

TEST_F(Transport, GetSucceedsOnlyWithAFinalStatusOf200Or201) {
    const std::pair<const char*, const char*> rows[] = {
        {"/status/200", "body of 200"},
        {"/status/201", "body of 201"},
        {"/status/204", ""},
        {"/status/404", ""},
        {"/status/500", ""},
        {"/moved", "body of 200"},
        {"/moved-to-missing", ""},
        {"/bytes", "\xff\x00\xfe not utf-8"},
    };
    for (const auto& [path, body] : rows) {
        EXPECT_EQ(backend::httpGet("7", server.url() + path),
                  std::string(body, path == std::string("/bytes") ? 14 : std::strlen(body)))
            << path;
    }
    EXPECT_EQ(backend::httpGet("7", "http://127.0.0.1:1/refused"), "");
}

TEST_F(Transport, GetCutAfterTheStatusLineReturnsWhatArrived) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(backend::httpGet("7", server.url() + "/cut"), "partial");
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("QvmAudioDownCall: curl_easy_perform failed res:18\n"), std::string::npos);
    EXPECT_NE(log.find("QvmAudioDownCall: get app size finished \n"), std::string::npos);
}

TEST_F(Transport, PostReturnsAnyBodyAndDoesNotFollowRedirects) {
    EXPECT_EQ(backend::postJson("7", server.url() + "/echo", R"({"a":"中文"})"), R"({"a":"中文"})");
    EXPECT_EQ(backend::postJson("7", server.url() + "/error", "{}"), "<h1>server error</h1>");
    EXPECT_EQ(backend::postJson("7", server.url() + "/moved", "{}"), "redirect body");
    for (const auto& seen : server.requests()) {
        EXPECT_NE(seen.target, "/status/200") << "the POST's redirect was followed";
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(backend::postJson("7", "http://127.0.0.1:1/refused", "{}"), "");
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "curl_easy_perform() failed: Couldn't connect to server\n"),
              std::string::npos);
}

TEST_F(Transport, RequestHeadersAsTheServerSawThem) {
    backend::postJson("10086", server.url() + "/echo", "{}");
    backend::httpGet("10086", server.url() + "/status/200");
    backend::postJson("", server.url() + "/echo", "{}");
    backend::httpGet("", server.url() + "/status/200");
    backend::httpGet("evil\r\nX-Injected: 1", server.url() + "/status/200");
    std::vector<testsupport::SeenRequest> seen = server.requests();
    ASSERT_EQ(seen.size(), 5u);

    EXPECT_EQ(seen[0].header("promoteid"), "10086");
    EXPECT_EQ(seen[0].header("Content-Type"), "application/json;charset=utf-8");
    EXPECT_EQ(seen[1].header("promoteid"), "10086");
    EXPECT_FALSE(seen[1].hasHeader("Content-Type"));
    EXPECT_FALSE(seen[2].hasHeader("promoteid"));
    EXPECT_FALSE(seen[3].hasHeader("promoteid"));
    EXPECT_EQ(seen[4].header("promoteid"), "evilX-Injected: 1");
    for (const auto& request : seen) {
        EXPECT_FALSE(request.hasHeader("User-Agent"));
        EXPECT_FALSE(request.hasHeader("X-Injected"));
    }
}

TEST(TransportBounds, APostToABackendThatNeverAnswersEnds) {
    curl_global_init(CURL_GLOBAL_ALL);
    testsupport::SilentPort silent;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(backend::postJson("7", silent.url() + "/v1/app/operationLog/saveLog", "{}"), "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(40));
}

}  // namespace
