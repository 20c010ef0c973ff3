// The package route of the running backend: exact bytes for whole, partial
// and unsatisfiable requests, and each fault that shapes the stream.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "tests/server/backend_process.h"
#include "tests/support/test_env.h"

namespace {

using servertest::BackendProcess;
using servertest::kPackageRoute;

constexpr size_t kPackageSize = 3 * 1024 * 1024 + 123;

class BackendPackageTest : public testsupport::IsolatedTest {
  protected:
    void SetUp() override {
        package = servertest::makePackage(env.root + "/pkg.rar", kPackageSize);
    }

    std::unique_ptr<BackendProcess> start(std::vector<std::string> args) {
        args.insert(args.begin(), {"--package", env.root + "/pkg.rar"});
        auto backend = std::make_unique<BackendProcess>(args);
        EXPECT_TRUE(backend->listening()) << backend->stderrText();
        return backend;
    }

    // GET with an optional Range, keeping whatever body bytes arrive even
    // when the connection is cut.
    struct Fetched {
        bool complete = false;
        int status = 0;
        httplib::Headers headers;
        std::string body;
    };
    static Fetched fetch(BackendProcess& backend, const std::string& range = "") {
        Fetched fetched;
        httplib::Headers headers;
        if (!range.empty()) {
            headers.emplace("Range", range);
        }
        auto res = backend.client().Get(
            kPackageRoute, headers,
            [&](const httplib::Response& response) {
                fetched.status = response.status;
                fetched.headers = response.headers;
                return true;
            },
            [&](const char* data, size_t length) {
                fetched.body.append(data, length);
                return true;
            });
        fetched.complete = static_cast<bool>(res);
        return fetched;
    }

    static std::string header(const Fetched& fetched, const std::string& name) {
        auto found = fetched.headers.find(name);
        return found == fetched.headers.end() ? "" : found->second;
    }

    std::string package;
};

TEST_F(BackendPackageTest, RangesGiveExactBytes) {
    auto backend = start({});
    const std::string total = std::to_string(kPackageSize);
    struct Row {
        std::string range;
        int status;
        size_t start;
        size_t length;
        std::string contentRange;
    };
    const std::vector<Row> rows = {
        {"", 200, 0, kPackageSize, ""},
        {"bytes=0-", 206, 0, kPackageSize, "bytes 0-" + std::to_string(kPackageSize - 1)},
        {"bytes=1048577-", 206, 1048577, kPackageSize - 1048577,
         "bytes 1048577-" + std::to_string(kPackageSize - 1)},
        {"bytes=100-199", 206, 100, 100, "bytes 100-199"},
        {"bytes=-10", 206, kPackageSize - 10, 10,
         "bytes " + std::to_string(kPackageSize - 10) + "-" + std::to_string(kPackageSize - 1)},
        {"bytes=" + total + "-", 416, 0, 0, "bytes *"},
    };
    for (const Row& row : rows) {
        Fetched got = fetch(*backend, row.range);
        ASSERT_TRUE(got.complete) << row.range;
        EXPECT_EQ(got.status, row.status) << row.range;
        EXPECT_TRUE(got.body == package.substr(row.start, row.length)) << row.range;
        EXPECT_EQ(header(got, "Content-Length"), std::to_string(row.length)) << row.range;
        EXPECT_EQ(header(got, "Content-Range"),
                  row.contentRange.empty() ? "" : row.contentRange + "/" + total)
            << row.range;
    }
    auto head = backend->client().Head(kPackageRoute);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->get_header_value("Content-Length"), total);
    EXPECT_NE(backend->stderrText().find("range=bytes=100-199 status=206 sent=100"),
              std::string::npos);
}

TEST_F(BackendPackageTest, DropAfterCutsEveryResponseAtTheBudget) {
    auto backend = start({"--drop-after", "100000"});
    Fetched whole = fetch(*backend);
    EXPECT_FALSE(whole.complete);
    EXPECT_EQ(header(whole, "Content-Length"), std::to_string(kPackageSize));
    EXPECT_TRUE(whole.body == package.substr(0, 100000));
    Fetched resumed = fetch(*backend, "bytes=2000000-");
    EXPECT_EQ(resumed.status, 206);
    EXPECT_TRUE(resumed.body == package.substr(2000000, 100000));
    Fetched tail = fetch(*backend, "bytes=-5000");
    EXPECT_TRUE(tail.complete);
    EXPECT_TRUE(tail.body == package.substr(kPackageSize - 5000));
}

TEST_F(BackendPackageTest, IgnoreRangeAnswersWholeFile) {
    auto backend = start({"--ignore-range"});
    Fetched got = fetch(*backend, "bytes=1000-");
    EXPECT_TRUE(got.complete);
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(header(got, "Content-Range"), "");
    EXPECT_TRUE(got.body == package);
}

TEST_F(BackendPackageTest, NoLengthHidesTheSize) {
    auto backend = start({"--no-length"});
    Fetched whole = fetch(*backend);
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(header(whole, "Content-Length"), "");
    EXPECT_EQ(header(whole, "Transfer-Encoding"), "chunked");
    EXPECT_TRUE(whole.body == package);
    Fetched part = fetch(*backend, "bytes=10-");
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(header(part, "Content-Range"), "bytes 10-" + std::to_string(kPackageSize - 1) + "/*");
    EXPECT_TRUE(part.body == package.substr(10));
}

TEST_F(BackendPackageTest, StatusFaultOnThePackageIgnoresTheRange) {
    auto backend = start({"--status", std::string(kPackageRoute) + "=404"});
    Fetched got = fetch(*backend, "bytes=100000-");
    EXPECT_EQ(got.status, 404);
    EXPECT_EQ(header(got, "Content-Range"), "");
    EXPECT_FALSE(got.body.empty());
}

TEST_F(BackendPackageTest, FailFirstAnswersOnlyTheEarlyRequestsWithTheStatus) {
    auto backend = start({"--fail-first", "2:503"});
    Fetched first = fetch(*backend);
    Fetched second = fetch(*backend, "bytes=100-");
    EXPECT_EQ(first.status, 503);
    EXPECT_EQ(second.status, 503);
    EXPECT_EQ(header(second, "Content-Range"), "");
    Fetched third = fetch(*backend, "bytes=100-");
    EXPECT_EQ(third.status, 206);
    EXPECT_TRUE(third.body == package.substr(100));
    EXPECT_EQ(fetch(*backend).status, 200);
}

// The installer's way of fetching: libcurl, resuming from the file size,
// following redirects, attempt after attempt.
struct CurlAttempt {
    CURLcode result = CURLE_OK;
    long status = 0;
};

size_t appendToFile(char* data, size_t size, size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<FILE*>(file)) * size;
}

CurlAttempt curlAppend(const std::string& url, const std::string& path, long timeoutMs) {
    FILE* file = std::fopen(path.c_str(), "ab");
    std::fseek(file, 0, SEEK_END);
    curl_off_t resumeFrom = std::ftell(file);
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, resumeFrom);
    CurlAttempt attempt;
    attempt.result = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &attempt.status);
    curl_easy_cleanup(curl);
    std::fclose(file);
    return attempt;
}

TEST_F(BackendPackageTest, CurlResumesThroughRedirectAndDroppedConnections) {
    auto backend =
        start({"--drop-after", "300000", "--redirect", "/old.rar=" + std::string(kPackageRoute)});
    std::string path = env.root + "/download.rar";
    CurlAttempt attempt;
    int attempts = 0;
    do {
        attempt = curlAppend(backend->url("/old.rar"), path, 30000);
    } while (attempt.result != CURLE_OK && ++attempts < 50);
    EXPECT_EQ(attempt.result, CURLE_OK);
    EXPECT_EQ(attempt.status, 206);
    EXPECT_EQ(attempts, static_cast<int>(kPackageSize / 300000));
    EXPECT_TRUE(testsupport::readFile(path) == package);
}

TEST_F(BackendPackageTest, BandwidthCapThrottlesButKeepsBytesExact) {
    auto backend = start({"--bandwidth", "4000"});
    std::string path = env.root + "/slow.rar";
    // An attempt cut short by the client leaves a prefix, as the installer's
    // time-limited slices do; the rest is then fetched without the cap.
    CurlAttempt slow = curlAppend(backend->url(kPackageRoute), path, 1000);
    EXPECT_EQ(slow.result, CURLE_OPERATION_TIMEDOUT);
    size_t prefix = testsupport::readFile(path).size();
    EXPECT_LT(prefix, kPackageSize / 10);
    auto fast = start({});
    EXPECT_EQ(curlAppend(fast->url(kPackageRoute), path, 30000).result, CURLE_OK);
    EXPECT_TRUE(testsupport::readFile(path) == package);
}

TEST_F(BackendPackageTest, SigtermDuringAThrottledDownloadExitsCleanly) {
    auto backend = start({"--bandwidth", "1000"});
    std::thread download([&] { fetch(*backend); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    backend->process().kill(SIGTERM);
    EXPECT_EQ(backend->process().wait(), 0);
    download.join();
}

}  // namespace
