// The transport against real servers on 127.0.0.1.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>

#include "backend/backend.h"
#include "backend/sender.h"
#include "tests/support/backend_process.h"
#include "tests/support/local_server.h"
#include "tests/support/test_env.h"

namespace {

using backend::kMaxReplyBytes;

// "a", a line break, "b" and as many "x" as make `size` bytes.
std::string sized(size_t size) {
    return std::string(size, 'x').replace(0, 3, "a\nb");
}

// "/N" answers with status N (below 1000, "body of N") or with sized(N);
// "/redirect?to=URL" and "/loop" redirect, "/echo" echoes; "/cut" breaks off,
// "/endless" goes on for 64 MiB, "/deep" nests without end.
class Transport : public testsupport::IsolatedTest {
  protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_ALL); }
    void SetUp() override {
        auto answer = [this](const httplib::Request& req, httplib::Response& res) {
            if (int number = std::atoi(req.path.c_str() + 1); number > 0) {
                res.status = number < 1000 ? number : 200;
                res.set_content(number < 1000 ? "body of " + std::to_string(number) : sized(number),
                                "x/y");
            } else if (req.path == "/redirect" || req.path == "/loop") {
                res.status = 302;
                res.set_header("Location",
                               req.has_param("to") ? req.get_param_value("to") : "/loop");
                res.set_content("redirect body", "text/plain");
            } else if (req.path == "/echo") {
                res.set_content(req.body, "x/y");
            } else if (req.path == "/cut") {
                res.set_content_provider(1000, "x/y", [](size_t, size_t, httplib::DataSink& sink) {
                    return !sink.write("partial", 7);  // and the connection drops
                });
            } else {
                res.set_chunked_content_provider("x/y", [this](size_t, httplib::DataSink& sink) {
                    const std::string chunk(64 * 1024, 'e');
                    bool written = sink.write(chunk.data(), chunk.size());
                    if (written && (endlessSent += chunk.size()) >= kEndless) {
                        sink.done();
                    }
                    return written;  // false: the client hung up
                });
            }
        };
        server.answerJson("/bytes", std::string("\xff\0\xfe!", 4));
        server.answerJson("/deep", R"({"success":"1","obj":)" + std::string(200000, '['));
        server.http.Get(".*", answer).Post(".*", answer);
        server.start();
    }
    std::string get(const std::string& path) { return backend::httpGet("7", server.url() + path); }
    std::string post(const std::string& p) {
        return backend::postJson("7", server.url() + p, "{}");
    }

    static constexpr size_t kEndless = size_t{64} << 20;
    testsupport::LocalServer server;
    std::atomic<size_t> endlessSent{0};
};

// A body is whole up to kMaxReplyBytes, refused beyond, never read far past it.
TEST_F(Transport, GetSucceedsOnlyWithAFinalStatusOf200Or201AndAtMostTheCap) {
    const std::pair<std::string, std::string> rows[] = {
        {"/200", "body of 200"},
        {"/201", "body of 201"},
        {"/204", ""},
        {"/redirect?to=/200", "body of 200"},
        {"/redirect?to=/404", ""},
        {"/bytes", std::string("\xff\0\xfe!", 4)},
        {"/" + std::to_string(kMaxReplyBytes), sized(kMaxReplyBytes)},
        {"/" + std::to_string(kMaxReplyBytes + 1), ""},
        {"/deep", ""},
        {"/endless", ""}};
    for (const auto& [path, body] : rows) {
        EXPECT_TRUE(get(path) == body) << path;
    }
    EXPECT_LT(endlessSent, kEndless) << "the client read on past the cap";
    testing::internal::CaptureStderr();
    EXPECT_EQ(get("/cut"), "partial");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("curl_easy_perform failed res:18\n"),
              std::string::npos);
}

// Whatever came, cut at the cap; the log shows the start of it on one line.
TEST_F(Transport, PostReturnsAnyBodyDoesNotFollowRedirectsAndLogsOneLine) {
    EXPECT_EQ(post("/500"), "body of 500");
    EXPECT_EQ(post("/redirect?to=/200"), "redirect body");
    EXPECT_EQ(server.requests().back().path, "/redirect") << "the POST's redirect was followed";
    testing::internal::CaptureStderr();
    std::string cut = post("/100000");
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(!cut.empty() && cut.size() <= kMaxReplyBytes && sized(100000).find(cut) == 0);
    EXPECT_NE(log.find("QvmAudioDownCall: res data:a\\nb" + std::string(197, 'x') + "... (" +
                       std::to_string(cut.size()) + " bytes)\n"),
              std::string::npos)
        << log;
}

// Nothing from a port that refuses, nor over another protocol, not even as a
// redirect's target; ten redirects at the most (the first request and ten more).
TEST_F(Transport, OnlyHttpAndTenRedirects) {
    const std::string gopher = "gopher://127.0.0.1:" + server.url().substr(17) + "/x";
    for (const std::string& url : std::vector<std::string>{
             "http://127.0.0.1:1/refused", gopher, server.url() + "/redirect?to=" + gopher}) {
        std::string posted = backend::postJson("7", url, "{}");
        EXPECT_TRUE(backend::httpGet("7", url).empty() &&
                    (posted.empty() || posted == "redirect body"))
            << url << ": " << posted;
    }
    size_t before = server.requests().size();
    EXPECT_EQ(get("/loop"), "");
    EXPECT_EQ(server.requests().size(), before + 11);
}

// The promotion id without control bytes (they would forge header lines).
TEST_F(Transport, RequestHeadersAsTheServerSawThem) {
    for (const char* id : {"10086", "", "evil\r\nX-Injected: 1"}) {
        backend::postJson(id, server.url() + "/echo", "{}");
        backend::httpGet(id, server.url() + "/200");
    }
    std::string seen;
    for (const auto& request : server.requests()) {
        seen += request.method + "[" + request.get_header_value("promoteid") + "][" +
                request.get_header_value("Content-Type") + "]" +
                request.get_header_value("X-Injected") + request.get_header_value("User-Agent") +
                (request.has_header("promoteid") ? "" : "-") + "\n";
    }
    EXPECT_EQ(
        seen,
        "POST[10086][application/json;charset=utf-8]\nGET[10086][]\n"
        "POST[][application/json;charset=utf-8]-\nGET[][]-\n"
        "POST[evilX-Injected: 1][application/json;charset=utf-8]\nGET[evilX-Injected: 1][]\n");
}

// The reference backend holds its answer for longer than a request may take:
// the request ends at its bound.  The sender keeps the order it was given;
// at its deadline it drops what is left, with one line, ends the request in
// flight at once and takes nothing more.
TEST_F(Transport, ABackendThatNeverAnswersAndTheSenderThatGivesUpOnIt) {
    testsupport::writeFile(env.root + "/package.rar", "x");
    testsupport::BackendProcess stalled(env.root, env.root + "/package.rar", 0, {"--stall", "60"});
    ASSERT_TRUE(stalled.ready()) << stalled.log();
    EXPECT_EQ(backend::postJson("7", stalled.url() + "/v1/app/operationLog/saveLog", "{}"), "");
    std::vector<std::string> ran;  // the sender's thread only, until it is gone
    auto sender = std::make_unique<backend::Sender>();
    for (const char* body : {"1", "2", "3"}) {
        sender->post([&ran, this, body] {
            ran.push_back(backend::postJson("7", server.url() + "/echo", body));
        });
    }
    EXPECT_TRUE(sender->drain(std::chrono::steady_clock::now() + std::chrono::seconds(20)));
    const std::atomic<bool>* abandon = sender->abandonFlag();
    sender->post([&ran, &stalled, abandon] {
        backend::httpGet("7", stalled.url() + "/stalled", abandon);
        ran.push_back("abandoned");
    });
    sender->post([&ran] { ran.push_back("dropped"); });
    auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(sender->drain(start + std::chrono::milliseconds(300)));
    sender->post([&ran] { ran.push_back("too late"); });
    sender.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "2 backend request(s) not sent in time were dropped"),
              std::string::npos);
    EXPECT_EQ(ran, (std::vector<std::string>{"1", "2", "3", "abandoned"}));
}

}  // namespace
