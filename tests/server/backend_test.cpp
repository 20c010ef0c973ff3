// The backend: client queries, events from honest and hostile clients, refused
// start-ups, the package route's ranges (the stream's faults: tests/faults).
#include <gtest/gtest.h>
#include <httplib.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "server/byte_range.h"
#include "server/event_store.h"
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
// every 200 ms; the status answered, or 0 when none came in time.
int exchange(int port, const std::string& request, size_t burst, int seconds = 20) {
    namespace detail = httplib::detail;
    httplib::Error error = httplib::Error::Success;
    auto sock = detail::create_client_socket("127.0.0.1", "", port, AF_INET, false, nullptr, 0,
                                             500000, 0, 200000, 5, 0, "", error);
    size_t sent = std::min(burst, request.size());
    bool closed =
        sock == INVALID_SOCKET || detail::send_socket(sock, request.data(), sent, MSG_NOSIGNAL) < 0;
    std::string answer;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
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
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

class BackendTest : public testsupport::IsolatedTest {
  protected:
    void SetUp() override {
        testsupport::writeFile(packagePath, package);
        // A date validates a range only for a file changed before this second.
        std::filesystem::last_write_time(
            packagePath, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    }

    // What `key` names in a reply: its status, a (capitalised) header, whether
    // minisign takes the body for the package's signature, or a member of the
    // JSON "obj" (all of it for ""; on a failure, the body).
    std::string observe(const httplib::Result& res, const std::string& key) {
        if (key == "status" || std::isupper(key[0])) {
            return key == "status" ? std::to_string(res->status)
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
    const std::string digest = runTool({"sha256sum", packagePath}).out.substr(0, 64);
    const std::string signature = packagePath + ".minisig";
    ASSERT_EQ(runTool({"minisign", "-G", "-W", "-p", "key.pub", "-s", "key.sec"}).exitCode, 0);
    ASSERT_EQ(runTool({"minisign", "-S", "-s", "key.sec", "-m", packagePath}).exitCode, 0);
    const std::string brokenReply = "{\"success\":1,\"obj\":[";
    // The backend's options, the path asked for, what to observe (see
    // observe()) and what it should be.
    const std::vector<std::tuple<std::vector<std::string>, std::string, std::string, std::string>>
        rows = {
            {{}, kInfo, "size", std::to_string(kPackageSize)},
            {{}, kInfo, "version", "2.0.1"},
            {{}, kInfo, "sha256", digest},
            {{}, kSize, "", std::to_string(kPackageSize)},
            {{}, kChannel, "", R"({"apkChannel":"guanwang","promoteId":"p42"})"},
            {{}, kSignature, "status", "404"},
            {{"--package-url=http://cdn.example/a.rar"}, kInfo, "url", "http://cdn.example/a.rar"},
            {{"--no-digest"}, kInfo, "sha256", "null"},
            {{"--wrong-digest"}, kInfo, "sha256", "(another digest)"},
            {{"--signature", signature}, kSignature, "minisign", "verified"},
            {{"--signature", signature, "--wrong-signature"}, kSignature, "minisign", "refused"},
            {{"--wrong-signature"}, kSignature, "minisign", "refused"},
            {{"--status", kSize + "=500"}, kSize, "status", "500"},
            {{"--reply", kChannel + "=" + brokenReply}, kChannel, "", "failed: " + brokenReply},
            {{"--redirect=" + kInfo + "=/elsewhere"}, kInfo, "Location", "/elsewhere"},
        };
    std::unique_ptr<BackendProcess> backend;
    std::vector<std::string> running;
    for (const auto& [options, path, key, expected] : rows) {
        if (!backend || options != running) {
            backend = std::make_unique<BackendProcess>(env.root, packagePath, 0, options);
            running = options;
        }
        // The installer inserts values unencoded; a client library encodes them.
        std::string query = "?apkChannel=guanwang&apkId=1&phoneOsVersion=Windows%20XP%20%E4%B8%AD";
        auto res = httplib::Client("127.0.0.1", backend->port())
                       .Get((path + query).c_str(), {{"promoteid", "p42"}});
        ASSERT_TRUE(res) << path;
        std::string got = observe(res, key);
        bool hex = got.find_first_not_of("0123456789abcdef") == std::string::npos;
        got = got.size() == 64 && hex && got != digest ? "(another digest)" : got;
        EXPECT_EQ(got, expected) << path << " " << key;
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
    BackendProcess backend(env.root, packagePath, 0);
    std::atomic<bool> go{false};
    std::vector<std::thread> clients;
    for (size_t i = 0; i < rows.size(); ++i) {
        for (int copy = 0; copy < rows[i].copies; ++copy) {
            clients.emplace_back([&, i] {
                while (!go.load()) {
                    std::this_thread::yield();
                }
                EXPECT_EQ(exchange(backend.port(), rows[i].request, rows[i].burst), rows[i].status)
                    << "row " << i;
            });
        }
    }
    go.store(true);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(exchange(backend.port(), get + "\r\n", all, 3), 200)
        << "while the slow clients trickle";
    for (std::thread& client : clients) {
        client.join();
    }
    backend.process().kill(SIGTERM);
    EXPECT_EQ(backend.process().wait(), 0);
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
        {{"--port", "0", "--package", pkg, "--signature", pkg, "--wrong-signature"}, 2, "minisign"},
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

// A folder as scripts/release.sh leaves it is served as it is; one whose
// parts do not fit is refused at start-up, naming what does not fit.
TEST_F(BackendTest, ServesAReleaseFolderAsItIsOnlyWhenItsPartsFit) {
    const std::string digest = runTool({"sha256sum", packagePath}).out.substr(0, 64);
    ASSERT_EQ(runTool({"minisign", "-G", "-W", "-p", "key.pub", "-s", "key.sec"}).exitCode, 0);
    const nlohmann::json info = {{"url", "https://cdn.example/win-ia32-unpacked.rar"},
                                 {"size", std::to_string(kPackageSize)},
                                 {"version", "2.0.7"},
                                 {"sha256", digest}};
    auto release = [&](const std::string& name, const std::string& infoText, bool signature) {
        std::string folder = env.root + "/" + name;
        std::filesystem::create_directories(folder);
        testsupport::writeFile(folder + "/win-ia32-unpacked.rar", package);
        testsupport::writeFile(folder + "/install-info.json", infoText);
        if (signature) {
            runTool({"minisign", "-S", "-s", "key.sec", "-m", folder + "/win-ia32-unpacked.rar",
                     "-t", "version:2.0.7"});
        }
        return folder;
    };
    auto with = [&](const char* key, const nlohmann::json& value) {
        nlohmann::json changed = info;
        changed[key] = value;
        return changed.dump();
    };
    const std::string good = release("good", info.dump(2), true);
    const std::vector<std::tuple<std::vector<std::string>, std::string>> refusals = {
        {{"--release", release("size", with("size", "3"), true)}, "\"size\""},
        {{"--release", release("bytes", with("size", kPackageSize), true)}, "\"size\""},
        {{"--release", release("digest", with("sha256", digest.substr(1) + "0"), true)}, digest},
        {{"--release", release("url", with("url", "cdn.example/a.rar"), true)}, "\"url\""},
        {{"--release", release("version", with("version", ""), true)}, "\"version\""},
        {{"--release", release("json", "{\"url\":", true)}, "not a JSON object"},
        {{"--release", release("unsigned", info.dump(), false)}, "minisig"},
        {{"--release", env.root + "/absent"}, "absent/win-ia32-unpacked.rar"},
        {{"--release", good, "--package", packagePath}, "excludes"},
        {{"--release", good, "--version", "2.0.7"}, "excludes"},
    };
    for (auto [args, complaint] : refusals) {
        args.insert(args.begin(), {testsupport::backendProgram(), "--port", "0"});
        auto result = runTool(args);
        EXPECT_EQ(result.exitCode, 2) << complaint;
        EXPECT_NE(result.err.find(complaint), std::string::npos) << result.err;
    }
    for (const std::string& packageUrl : {std::string(), std::string("http://127.0.0.1:1/p.rar")}) {
        std::vector<std::string> extra = {"--release", good};
        if (!packageUrl.empty()) {
            extra.push_back("--package-url=" + packageUrl);
        }
        BackendProcess backend(env.root, "", 0, extra);
        httplib::Client client("127.0.0.1", backend.port());
        nlohmann::json expected = info;
        if (!packageUrl.empty()) {
            expected["url"] = packageUrl;
        }
        EXPECT_EQ(observe(client.Get(kInfo.c_str()), ""), expected.dump());
        EXPECT_EQ(client.Get(kPackage.c_str())->body, package);
        testsupport::writeFile(packagePath, package);
        EXPECT_EQ(observe(client.Get(kSignature.c_str()), "minisign"), "verified");
    }
}

// A range is served only while the client's validator still holds.
TEST_F(BackendTest, PackageRangesHonourTheValidators) {
    BackendProcess backend(env.root, packagePath, 0);
    httplib::Client http("127.0.0.1", backend.port());
    auto head = http.Head(kPackage.c_str());
    ASSERT_TRUE(head && head->has_header("ETag") && head->has_header("Last-Modified"));
    const std::string etag = head->get_header_value("ETag");
    const std::string total = std::to_string(kPackageSize);
    // Range, If-Range, then the status and Content-Range answered.
    const std::vector<std::array<std::string, 3>> rows = {
        {"bytes=1048577-", "",
         "206 bytes 1048577-" + std::to_string(kPackageSize - 1) + "/" + total},
        {"bytes=" + total + "-", "", "416 bytes */" + total},
        {"bytes=100-199", etag, "206 bytes 100-199/" + total},
        {"bytes=100-199", head->get_header_value("Last-Modified"), "206 bytes 100-199/" + total},
        {"bytes=100-199", "\"an-older-one\"", "200 "},
        {"bytes=100-199", "W/" + etag, "200 "},
        {"bytes=100-199", "Sat, 01 Jan 2000 00:00:00 GMT", "200 "},
        {"bytes=" + total + "-", "\"an-older-one\"", "200 "},
    };
    for (const auto& [range, ifRange, expected] : rows) {
        auto got = ifRange.empty()
                       ? http.Get(kPackage.c_str(), {{"Range", range}})
                       : http.Get(kPackage.c_str(), {{"Range", range}, {"If-Range", ifRange}});
        ASSERT_TRUE(got);
        std::string contentRange = got->get_header_value("Content-Range");
        EXPECT_EQ(std::to_string(got->status) + " " + contentRange, expected)
            << range << " " << ifRange;
        size_t first = 0;
        size_t last = kPackageSize - 1;
        std::sscanf(contentRange.c_str(), "bytes %zu-%zu", &first, &last);
        EXPECT_TRUE(got->body ==
                    (got->status == 416 ? "" : package.substr(first, last - first + 1)));
        EXPECT_EQ(got->get_header_value("ETag"), etag);
    }
}

TEST(ByteRange, Plans) {
    // Range header and file size, then the reply planned: 200 or 206 with the
    // first byte and length sent, or 416.
    const std::vector<std::tuple<std::string, std::uint64_t, std::string>> rows = {
        {"", 1000, "200 0+1000"},
        {"bytes=10-10", 1000, "206 10+1"},
        {"bytes=990-5000", 1000, "206 990+10"},
        {"bytes=-100", 1000, "206 900+100"},
        {"bytes=-5000", 1000, "206 0+1000"},
        {"bytes=-0", 1000, "416"},
        {"Bytes=7-8", 1000, "206 7+2"},
        {"bytes = 7-8", 1000, "200 0+1000"},
        {"bytes=20-10", 1000, "200 0+1000"},
        {"bytes=0-1,5-6", 1000, "200 0+1000"},
        {"items=0-5", 1000, "200 0+1000"},
        {"bytes=99999999999999999999999-", 1000, "200 0+1000"},
        {"bytes=0-", 0, "416"},
        {"bytes=-1", 0, "416"},
        {"", 0, "200 0+0"},
    };
    for (const auto& [header, size, expected] : rows) {
        server::RangePlan plan = server::planRange(header, size);
        std::string got = plan.kind == server::RangePlan::Unsatisfiable
                              ? "416"
                              : (plan.kind == server::RangePlan::Partial ? "206 " : "200 ") +
                                    std::to_string(plan.start) + "+" + std::to_string(plan.length);
        EXPECT_EQ(got, expected) << header;
    }
}

TEST_F(BackendTest, EventStoreKeepsArrivalOrderAcrossReopening) {
    std::string error;
    {
        server::EventStore store;
        ASSERT_TRUE(store.open(env.root + "/events.db", true, error)) << error;
        EXPECT_TRUE(store.add("t1", std::string("p"), std::string("text/plain"), "first"));
        EXPECT_TRUE(store.add("t2", std::nullopt, std::nullopt, std::string("a\0b", 3)));
    }
    server::EventStore reader;
    ASSERT_TRUE(reader.open(env.root + "/events.db", false, error)) << error;
    std::vector<server::StoredEvent> events;
    ASSERT_TRUE(reader.listEvents(events));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].promoteid, std::optional<std::string>("p"));
    EXPECT_LT(events[0].id, events[1].id);
    EXPECT_EQ(events[1].body, std::string("a\0b", 3));
    EXPECT_EQ(events[1].contentType, std::nullopt);
    EXPECT_FALSE(reader.add("t3", std::nullopt, std::nullopt, "read-only"));
}

}  // namespace
