// The running backend: the client queries with the package's digest and
// signature, the reply faults, the event store as honest and hostile clients
// fill it, the start-ups it refuses, and the package route's bytes for
// partial, unsatisfiable and If-Range requests.  The faults that shape the
// package stream are the fault matrix's (tests/faults).
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace {

using testsupport::BackendProcess;
using testsupport::runTool;

const std::string kInfo = "/v1/app/client/getInstallInfo";
const std::string kSize = "/v1/app/client/getSize";
const std::string kChannel = "/v1/app/client/getApkChannel";
const std::string kPackage = "/client/win/mainprogram/win-ia32-unpacked.rar";
const std::string kSignature = kPackage + ".minisig";
constexpr size_t kPackageSize = 3 * 1024 * 1024 + 123;

// Sends `request` on a new connection, the bytes after the first `burst` one
// every 200 ms, and returns the status answered: 0 when the server closed
// without an answer, -1 when it neither answered nor closed within 20 s.
int exchange(int port, const std::string& request, size_t burst) {
    namespace detail = httplib::detail;
    httplib::Error error = httplib::Error::Success;
    auto sock = detail::create_client_socket("127.0.0.1", "", port, AF_INET, false, nullptr, 0,
                                             500000, 0, 200000, 5, 0, "", error);
    size_t sent = std::min(burst, request.size());
    if (sock == INVALID_SOCKET ||
        detail::send_socket(sock, request.data(), sent, MSG_NOSIGNAL) < 0) {
        return -1;
    }
    std::string answer;
    bool closed = false;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!closed && answer.find("\r\n") == std::string::npos &&
           std::chrono::steady_clock::now() < until) {
        char buffer[4096];
        ssize_t got = detail::read_socket(sock, buffer, sizeof buffer, 0);
        closed = got == 0 || (got < 0 && errno != EAGAIN);
        answer.append(buffer, got > 0 ? static_cast<size_t>(got) : 0);
        if (got < 0 && !closed && sent < request.size()) {
            detail::send_socket(sock, &request[sent++], 1, MSG_NOSIGNAL);
        }
    }
    detail::close_socket(sock);
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : closed ? 0 : -1;
}

class BackendTest : public testsupport::IsolatedTest {
  protected:
    void SetUp() override {
        testsupport::writeFile(packagePath, package);
        // A date validates a range only for a file changed before this second.
        std::filesystem::last_write_time(
            packagePath, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    }

    // What `key` names in a reply: its status, body or a (capitalised) header
    // field, whether minisign accepts the body as the package's signature, or
    // a member of the JSON "obj" (all of it for "").
    std::string observe(const httplib::Result& res, const std::string& key) {
        if (!res || key == "status" || key == "body" || std::isupper(key[0])) {
            return !res              ? "no reply"
                   : key == "status" ? std::to_string(res->status)
                   : key == "body"   ? res->body
                                     : res->get_header_value(key.c_str());
        }
        if (key == "minisign") {
            testsupport::writeFile(packagePath + ".served", res->body);
            auto check = runTool({"minisign", "-V", "-p", "key.pub", "-m", packagePath, "-x",
                                  packagePath + ".served"});
            bool refused = check.err.find("verification failed") != std::string::npos ||
                           check.err.find("key id") != std::string::npos;
            return check.exitCode == 0 ? "verified" : refused ? "refused" : check.err;
        }
        auto reply = nlohmann::json::parse(res->body, nullptr, false);
        if (res->status != 200 || !reply.is_object() || reply.value("success", "") != "1") {
            return "failed: " + res->body;
        }
        auto got = key.empty() ? reply["obj"] : reply["obj"].value(key, nlohmann::json());
        return got.is_string() ? got.get<std::string>() : got.dump();
    }

    const std::string packagePath = env.root + "/pkg.rar";
    const std::string package = testsupport::randomBytes(kPackageSize);
};

TEST_F(BackendTest, QueriesAndRepliesFromThePackageOptionsAndFaults) {
    const std::string size = std::to_string(package.size());
    const std::string digest = runTool({"sha256sum", packagePath}).out.substr(0, 64);
    const std::string signature = packagePath + ".minisig";
    ASSERT_EQ(runTool({"minisign", "-G", "-W", "-p", "key.pub", "-s", "key.sec"}).exitCode, 0);
    ASSERT_EQ(runTool({"minisign", "-S", "-s", "key.sec", "-m", packagePath}).exitCode, 0);
    const std::string brokenReply = "{\"success\":1,\"obj\":[";
    struct Row {
        std::vector<std::string> options;
        std::string path;
        std::string key;  // see observe()
        std::string expected;
    };
    const std::vector<Row> rows = {
        {{}, kInfo, "size", size},
        {{}, kInfo, "version", "2.0.1"},
        {{}, kInfo, "sha256", digest},
        {{}, kInfo, "url", "(this backend)" + kPackage},
        {{}, kSize, "", size},
        {{}, kChannel, "", R"({"apkChannel":"guanwang","promoteId":"p42"})"},
        {{}, kSignature, "status", "404"},
        {{"--package-url=http://cdn.example/a.rar"}, kInfo, "url", "http://cdn.example/a.rar"},
        {{"--no-digest"}, kInfo, "sha256", "null"},
        {{"--wrong-digest"}, kInfo, "sha256", "(another digest)"},
        {{"--signature", signature}, kSignature, "minisign", "verified"},
        {{"--signature", signature, "--wrong-signature"}, kSignature, "minisign", "refused"},
        {{"--wrong-signature"}, kSignature, "minisign", "refused"},
        {{"--status", kSize + "=500"}, kSize, "status", "500"},
        {{"--reply", kChannel + "=" + brokenReply}, kChannel, "body", brokenReply},
        {{"--redirect=" + kInfo + "=/elsewhere"}, kInfo, "Location", "/elsewhere"},
    };
    std::unique_ptr<BackendProcess> backend;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i == 0 || rows[i].options != rows[i - 1].options) {
            backend.reset();
            backend = std::make_unique<BackendProcess>(env.root, packagePath, 0, rows[i].options);
        }
        // The installer inserts values unencoded; a client library encodes them.
        std::string query = "?apkChannel=guanwang&apkId=1&phoneOsVersion=Windows%20XP%20%E4%B8%AD";
        auto res = httplib::Client("127.0.0.1", backend->port())
                       .Get((rows[i].path + query).c_str(), {{"promoteid", "p42"}});
        std::string got = observe(res, rows[i].key);
        bool hex = got.find_first_not_of("0123456789abcdef") == std::string::npos;
        got = got.size() == 64 && hex && got != digest ? "(another digest)" : got;
        got = got.rfind(backend->url(), 0) == 0
                  ? "(this backend)" + got.substr(backend->url().size())
                  : got;
        EXPECT_EQ(got, rows[i].expected) << "row " << i;
    }
}

TEST_F(BackendTest, EventsFromHonestAndHostileClients) {
    const std::string event = "{\"btnId\":\"pc_show_install\",\"name\":\"语音文字\"}";
    const std::string fullEvent = "{\"pad\":\"" + std::string(65536 - 10, 'x') + "\"}";
    auto post = [](const std::string& body, const std::string& type) {
        return "POST /v1/app/operationLog/saveLog HTTP/1.1\r\nHost: t\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\nContent-Type: " + type + "\r\n\r\n" + body;
    };
    const std::string json = "application/json";
    const std::string form =
        "--b\r\nContent-Disposition: form-data; name=\"e\"\r\n\r\n{}\r\n--b--\r\n";
    std::string get = "GET " + kSize + " HTTP/1.1\r\nHost: t\r\n";
    std::string manyHeaders = get;  // each field within httplib's own line limit
    for (int i = 0; i < 400; ++i) {
        manyHeaders += "X-Pad-" + std::to_string(i) + ": " + std::string(100, 'h') + "\r\n";
    }
    const size_t all = std::string::npos;
    struct Row {
        std::string request;
        size_t burst;  // bytes sent at once; the rest trickles
        int copies;    // connections sending it at the same time
        int status;
    };
    const std::vector<Row> rows = {
        {post(event, json), all, 1, 200},
        {post(fullEvent, json), all, 1, 200},
        {post(fullEvent + " ", json), all, 1, 413},
        {post("plain", "text/plain"), all, 1, 400},
        {post(form, "multipart/form-data; boundary=b"), all, 1, 415},
        {post("", json).replace(post("", json).find(": 0"), 3, ": 1073741824"), all, 1, 413},
        {manyHeaders + "\r\n", all, 1, 400},
        {get + "X-Slow: " + std::string(200, 's'), get.size(), 40, 400},
        {post(event, json), post(event, json).size() - event.size(), 40, 400},
        {get + "\r\n", all, 100, 200},
    };
    std::vector<std::vector<int>> statuses(rows.size());
    BackendProcess backend(env.root, packagePath, 0);
    std::atomic<bool> go{false};
    std::vector<std::thread> clients;
    for (size_t i = 0; i < rows.size(); ++i) {
        statuses[i].resize(static_cast<size_t>(rows[i].copies));
        for (int& status : statuses[i]) {
            clients.emplace_back([&, i] {
                while (!go.load()) {
                    std::this_thread::yield();
                }
                status = exchange(backend.port(), rows[i].request, rows[i].burst);
            });
        }
    }
    go.store(true);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    httplib::Client other("127.0.0.1", backend.port());
    other.set_read_timeout(3, 0);
    EXPECT_EQ(observe(other.Get(kSize), "status"), "200") << "while the slow clients trickle";
    for (std::thread& client : clients) {
        client.join();
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(statuses[i], std::vector<int>(statuses[i].size(), rows[i].status)) << "row " << i;
    }
    backend.process().kill(SIGTERM);
    EXPECT_EQ(backend.process().wait(), 0);
    std::string listed = backend.listEvents();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 2) << listed.substr(0, 1000);
    EXPECT_EQ(backend.eventNames(), std::vector<std::string>{"pc_show_install"});
}

TEST_F(BackendTest, RefusedStartUps) {
    BackendProcess first(env.root, packagePath, 0);
    const std::string absent = env.root + "/absent.rar";
    const std::string& pkg = packagePath;
    const std::vector<std::tuple<std::vector<std::string>, int, std::string>> rows = {
        {{"--port", "0", "--package", absent}, 2, "absent.rar"},
        {{"--port", "0", "--package", env.root}, 2, "not a regular file"},
        {{"--port", "0", "--package", pkg, "--signature", absent}, 2, "absent.rar"},
        {{"--port", "0", "--package", pkg, "--signature", pkg, "--wrong-signature"},
         2,
         "not a minisign signature"},
        {{"--db", env.root + "/none.db", "--list-events"}, 1, "none.db"},
        {{"--port", std::to_string(first.port()), "--package", pkg}, 1, "already in use"},
    };
    for (auto [args, exitCode, complaint] : rows) {
        args.insert(args.begin(), testsupport::backendProgram());
        auto result = runTool(args);
        EXPECT_EQ(result.exitCode, exitCode) << complaint;
        EXPECT_NE(result.err.find(complaint), std::string::npos) << result.err;
    }
}

TEST_F(BackendTest, PackageRangesHonourTheValidators) {
    struct Row {
        std::string range;
        std::string ifRange;  // "etag", "W/etag" and "date" stand for what the server sent
        int status;
        size_t start;
        size_t length;
    };
    const std::string total = std::to_string(kPackageSize);
    const std::vector<Row> rows = {
        {"bytes=1048577-", "", 206, 1048577, kPackageSize - 1048577},
        {"bytes=100-199", "", 206, 100, 100},
        {"bytes=-10", "", 206, kPackageSize - 10, 10},
        {"bytes=" + total + "-", "", 416, 0, 0},
        // A range is served only while the client's validator still holds.
        {"bytes=100-199", "etag", 206, 100, 100},
        {"bytes=100-199", "date", 206, 100, 100},
        {"bytes=100-199", "\"an-older-one\"", 200, 0, kPackageSize},
        {"bytes=100-199", "W/etag", 200, 0, kPackageSize},
        {"bytes=100-199", "Sat, 01 Jan 2000 00:00:00 GMT", 200, 0, kPackageSize},
        {"bytes=" + total + "-", "\"an-older-one\"", 200, 0, kPackageSize},
    };
    BackendProcess backend(env.root, packagePath, 0);
    httplib::Client http("127.0.0.1", backend.port());
    auto head = http.Head(kPackage.c_str());
    ASSERT_TRUE(head && head->has_header("ETag") && head->has_header("Last-Modified"));
    for (const Row& row : rows) {
        std::string ifRange =
            row.ifRange == "date" ? head->get_header_value("Last-Modified") : row.ifRange;
        if (ifRange.size() >= 4 && ifRange.compare(ifRange.size() - 4, 4, "etag") == 0) {
            ifRange.replace(ifRange.size() - 4, 4, head->get_header_value("ETag"));
        }
        httplib::Headers headers = {{"Range", row.range}};
        if (!ifRange.empty()) {
            headers.emplace("If-Range", ifRange);
        }
        auto got = http.Get(kPackage.c_str(), headers);
        ASSERT_TRUE(got);
        std::string last = std::to_string(row.start + row.length - 1);
        std::string contentRange =
            row.status == 416   ? "bytes */" + total
            : row.status == 206 ? "bytes " + std::to_string(row.start) + "-" + last + "/" + total
                                : "";
        SCOPED_TRACE(row.range + " " + ifRange);
        EXPECT_EQ(got->status, row.status);
        EXPECT_EQ(got->get_header_value("Content-Range"), contentRange);
        EXPECT_TRUE(got->body == package.substr(row.start, row.length));
        EXPECT_EQ(got->get_header_value("ETag"), head->get_header_value("ETag"));
    }
}

}  // namespace
