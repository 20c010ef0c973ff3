// The package route of the running backend: exact bytes for whole, partial
// and unsatisfiable requests, and one pass over each fault that shapes the
// stream.  How the installer comes through these faults is the fault
// matrix's (tests/faults).
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace {

using testsupport::BackendProcess;

constexpr const char* kPackageRoute = "/client/win/mainprogram/win-ia32-unpacked.rar";
constexpr size_t kSize = 3 * 1024 * 1024 + 123;
const std::string kTotal = std::to_string(kSize);

class BackendPackageTest : public testsupport::IsolatedTest {
  protected:
    void SetUp() override { testsupport::writeFile(packagePath, package); }

    std::unique_ptr<BackendProcess> start(const std::vector<std::string>& options) {
        auto backend = std::make_unique<BackendProcess>(env.root, packagePath, 0, options);
        EXPECT_TRUE(backend->ready()) << backend->log();
        return backend;
    }

    // GET with an optional Range, keeping whatever body bytes arrive even
    // when the connection is cut (or `stop` says so).
    struct Fetched {
        bool complete = false;
        int status = 0;
        httplib::Headers headers;
        std::string body;
        std::string header(const std::string& name) const {
            auto found = headers.find(name);
            return found == headers.end() ? "" : found->second;
        }
    };
    static Fetched fetch(
        BackendProcess& backend, const std::string& range = "",
        const std::function<bool()>& stop = [] { return false; }) {
        Fetched fetched;
        httplib::Headers headers;
        if (!range.empty()) {
            headers.emplace("Range", range);
        }
        httplib::Client client("127.0.0.1", backend.port());
        fetched.complete = static_cast<bool>(client.Get(
            kPackageRoute, headers,
            [&](const httplib::Response& response) {
                fetched.status = response.status;
                fetched.headers = response.headers;
                return true;
            },
            [&](const char* data, size_t length) {
                fetched.body.append(data, length);
                return !stop();
            }));
        return fetched;
    }

    const std::string packagePath = env.root + "/pkg.rar";
    const std::string package = testsupport::randomBytes(kSize);
};

TEST_F(BackendPackageTest, RangesAndFaultsGiveExactBytes) {
    struct Row {
        std::vector<std::string> options;
        std::string range;
        bool complete;
        int status;
        size_t start;
        size_t length;  // body bytes; npos: a short text instead of package bytes
        std::string contentRange;
        std::string contentLength;
    };
    const std::string last = std::to_string(kSize - 1);
    const std::vector<Row> rows = {
        {{}, "", true, 200, 0, kSize, "", kTotal},
        {{}, "bytes=0-", true, 206, 0, kSize, "bytes 0-" + last + "/" + kTotal, kTotal},
        {{},
         "bytes=1048577-",
         true,
         206,
         1048577,
         kSize - 1048577,
         "bytes 1048577-" + last + "/" + kTotal,
         std::to_string(kSize - 1048577)},
        {{}, "bytes=100-199", true, 206, 100, 100, "bytes 100-199/" + kTotal, "100"},
        {{},
         "bytes=-10",
         true,
         206,
         kSize - 10,
         10,
         "bytes " + std::to_string(kSize - 10) + "-" + last + "/" + kTotal,
         "10"},
        {{}, "bytes=" + kTotal + "-", true, 416, 0, 0, "bytes */" + kTotal, "0"},
        // Every response is cut after its budget, counted from its own start.
        {{"--drop-after", "100000"}, "", false, 200, 0, 100000, "", kTotal},
        {{"--drop-after", "100000"},
         "bytes=2000000-",
         false,
         206,
         2000000,
         100000,
         "bytes 2000000-" + last + "/" + kTotal,
         std::to_string(kSize - 2000000)},
        {{"--drop-after", "100000"},
         "bytes=-5000",
         true,
         206,
         kSize - 5000,
         5000,
         "bytes " + std::to_string(kSize - 5000) + "-" + last + "/" + kTotal,
         "5000"},
        {{"--ignore-range"}, "bytes=1000-", true, 200, 0, kSize, "", kTotal},
        {{"--no-length"}, "", true, 200, 0, kSize, "", ""},
        {{"--no-length"}, "bytes=10-", true, 206, 10, kSize - 10, "bytes 10-" + last + "/*", ""},
        {{"--status", std::string(kPackageRoute) + "=404"},
         "bytes=100000-",
         true,
         404,
         0,
         std::string::npos,
         "",
         ""},
    };
    std::vector<std::string> running;
    std::unique_ptr<BackendProcess> backend;
    for (const Row& row : rows) {
        if (!backend || row.options != running) {
            backend.reset();
            backend = start(row.options);
            running = row.options;
        }
        Fetched got = fetch(*backend, row.range);
        std::string label = (row.options.empty() ? "" : row.options[0]) + " " + row.range;
        EXPECT_EQ(got.complete, row.complete) << label;
        EXPECT_EQ(got.status, row.status) << label;
        if (row.length == std::string::npos) {
            EXPECT_FALSE(got.body.empty() || got.body == package.substr(0, got.body.size()));
        } else {
            EXPECT_TRUE(got.body == package.substr(row.start, row.length)) << label;
            EXPECT_EQ(got.header("Content-Length"), row.contentLength) << label;
        }
        EXPECT_EQ(got.header("Content-Range"), row.contentRange) << label;
    }
    backend = start({});
    fetch(*backend, "bytes=100-199");
    auto head = httplib::Client("127.0.0.1", backend->port()).Head(kPackageRoute);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->get_header_value("Content-Length"), kTotal);
    EXPECT_TRUE(backend->logHas("range=bytes=100-199 status=206 sent=100"));
}

TEST_F(BackendPackageTest, FailFirstAnswersOnlyTheEarlyRequestsWithTheStatus) {
    auto backend = start({"--fail-first", "2:503"});
    EXPECT_EQ(fetch(*backend).status, 503);
    Fetched second = fetch(*backend, "bytes=100-");
    EXPECT_EQ(second.status, 503);
    EXPECT_EQ(second.header("Content-Range"), "");
    Fetched third = fetch(*backend, "bytes=100-");
    EXPECT_EQ(third.status, 206);
    EXPECT_TRUE(third.body == package.substr(100));
    EXPECT_EQ(fetch(*backend).status, 200);
}

// A capped response trickles: after a second it holds a small prefix of the
// package, and SIGTERM still stops the server cleanly in the middle of it.
TEST_F(BackendPackageTest, BandwidthCapTricklesAndSigtermStillStops) {
    auto backend = start({"--bandwidth", "4000"});
    Fetched got;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::thread download([&] {
        got = fetch(*backend, "", [&] { return std::chrono::steady_clock::now() > until; });
    });
    std::this_thread::sleep_for(std::chrono::seconds(1));
    backend->process().kill(SIGTERM);
    EXPECT_EQ(backend->process().wait(), 0);
    download.join();
    EXPECT_FALSE(got.complete);
    EXPECT_FALSE(got.body.empty());
    EXPECT_LT(got.body.size(), kSize / 10);
    EXPECT_TRUE(got.body == package.substr(0, got.body.size()));
}

}  // namespace
