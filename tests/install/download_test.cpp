#include <curl/curl.h>
#include <httplib.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "install/install.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

class CurlEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { curl_global_init(CURL_GLOBAL_DEFAULT); }
    void TearDown() override { curl_global_cleanup(); }
};
[[maybe_unused]] ::testing::Environment* const curlEnvironment =
    ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

constexpr std::int64_t kGiB = 1073741824;

TEST(DownloadArithmetic, PercentIsSixtyFourBitAndTruncated) {
    struct Row {
        std::int64_t offset, done, total;
        int percent;
    } rows[] = {
        {0, 0, 0, -1},
        {5 * kGiB, 0, 0, -1},
        {0, 50, 100, 50},
        {0, 999, 1000, 99},
        {0, 1000, 1000, 100},
        {4 * kGiB, 0, 4 * kGiB, 50},
        {6 * kGiB, kGiB / 2, 2 * kGiB, 81},
        {5 * kGiB + 7, kGiB - 7, kGiB - 7, 100},
        {3 * kGiB, 1, 2 * kGiB, 60},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(downloadPercent(row.offset, row.done, row.total), row.percent)
            << row.offset << "+" << row.done << "/" << row.total;
    }
}

TEST(DownloadArithmetic, ContentRangeValues) {
    struct Row {
        const char* value;
        bool valid;
        std::int64_t first, last, length;
    } rows[] = {
        {"bytes 0-99/100", true, 0, 99, 100},
        {" bytes 100-199/1000\r\n", true, 100, 199, 1000},
        {"bytes 4294967296-8589934591/8589934592", true, 4 * kGiB, 8 * kGiB - 1, 8 * kGiB},
        {"bytes */5368709120", true, -1, -1, 5 * kGiB},
        {"bytes 0-99/*", true, 0, 99, -1},
        {"bytes 5-4/10", false, -1, -1, -1},
        {"bytes 100-200/150", false, -1, -1, -1},
        {"bytes */*", false, -1, -1, -1},
        {"bits 0-1/2", false, -1, -1, -1},
        {"bytes -5/10", false, -1, -1, -1},
        {"", false, -1, -1, -1},
    };
    for (const Row& row : rows) {
        ContentRange range = parseContentRange(row.value);
        EXPECT_EQ(range.valid, row.valid) << row.value;
        if (row.valid) {
            EXPECT_EQ(range.first, row.first) << row.value;
            EXPECT_EQ(range.last, row.last) << row.value;
            EXPECT_EQ(range.completeLength, row.length) << row.value;
        }
    }
}

TEST(DownloadArithmetic, ResponsesJudgedAgainstTheResumeOffset) {
    struct Row {
        long status;
        std::int64_t offset;
        const char* contentRange;
        ResponseVerdict verdict;
    } rows[] = {
        {200, 0, "", ResponseVerdict::Append},
        {200, 4096, "", ResponseVerdict::Restart},
        {206, 4096, "bytes 4096-8191/8192", ResponseVerdict::Append},
        {206, 5 * kGiB, "bytes 5368709120-6442450943/6442450944", ResponseVerdict::Append},
        {206, 5 * kGiB + 1, "bytes 5368709120-6442450943/6442450944", ResponseVerdict::Reject},
        {206, 4096, "bytes 0-8191/8192", ResponseVerdict::Reject},
        {206, 4096, "", ResponseVerdict::Reject},
        {416, 5 * kGiB, "bytes */5368709120", ResponseVerdict::Complete},
        {416, 4096, "bytes */8192", ResponseVerdict::Reject},
        {416, 0, "bytes */0", ResponseVerdict::Reject},
        {416, 4096, "", ResponseVerdict::Reject},
        {404, 0, "", ResponseVerdict::Reject},
        {500, 4096, "bytes 4096-8191/8192", ResponseVerdict::Reject},
        {302, 0, "", ResponseVerdict::Reject},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(judgeResponse(row.status, row.offset, row.contentRange), row.verdict)
            << row.status << " at " << row.offset << " " << row.contentRange;
    }
}

std::string makePackage(size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 2463534242u;
    for (char& c : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state & 0xFF);
    }
    return bytes;
}

// A package server on 127.0.0.1 that answers ranges itself, so that every
// fault can be shaped: drops, slow streaming, no length, ignored ranges,
// error statuses.  It records the Range header of every request ("" for none).
class PackageServer {
  public:
    explicit PackageServer(std::string package) : m_package(std::move(package)) {}
    ~PackageServer() {
        m_http.stop();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    std::vector<size_t> dropAfter;  // request i closes after dropAfter[i] body bytes
    bool honourRange = true;
    bool sendLength = true;
    int errorStatus = 0;
    std::chrono::milliseconds chunkDelay{0};  // before each 32 KiB chunk

    std::string start() {
        m_http.Get(kPath, [this](const httplib::Request& request, httplib::Response& response) {
            answer(request, response);
        });
        m_http.Get("/moved", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect(kPath);
            response.set_content("<html>moved</html>", "text/html");
        });
        m_port = m_http.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_http.listen_after_bind(); });
        while (!m_http.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return url();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port) + kPath; }
    std::vector<std::string> ranges() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ranges;
    }

  private:
    static constexpr const char* kPath = "/client/win/mainprogram/win-ia32-unpacked.rar";

    void answer(const httplib::Request& request, httplib::Response& response) {
        // The test shapes the range answer itself; httplib must not cut again.
        const_cast<httplib::Request&>(request).ranges.clear();
        std::string range = request.get_header_value("Range");
        std::lock_guard<std::mutex> lock(m_mutex);
        size_t index = m_ranges.size();
        m_ranges.push_back(range);
        size_t offset = honourRange && !range.empty() ? std::stoull(range.substr(6)) : 0;
        std::string size = std::to_string(m_package.size());
        if (errorStatus != 0) {
            response.status = errorStatus;
            response.set_content("<html>error page</html>", "text/html");
        } else if (offset >= m_package.size() && offset > 0) {
            response.status = 416;
            response.set_header("Content-Range", "bytes */" + size);
        } else {
            response.status = offset > 0 ? 206 : 200;
            if (offset > 0) {
                response.set_header("Content-Range", "bytes " + std::to_string(offset) + "-" +
                                                         std::to_string(m_package.size() - 1) +
                                                         "/" + size);
            }
            stream(response, offset, index < dropAfter.size() ? dropAfter[index] : SIZE_MAX);
        }
    }

    void stream(httplib::Response& response, size_t offset, size_t limit) {
        auto sent = std::make_shared<size_t>(0);
        auto provider = [this, offset, limit, sent](size_t, httplib::DataSink& sink) {
            size_t count = std::min(
                {size_t{32768}, m_package.size() - offset - *sent, limit - std::min(limit, *sent)});
            if (count == 0) {
                return *sent < limit && (sink.done(), true);  // false drops the connection
            }
            std::this_thread::sleep_for(chunkDelay);
            *sent += count;
            return sink.write(m_package.data() + offset + *sent - count, count);
        };
        if (sendLength) {
            response.set_content_provider(m_package.size() - offset, "application/octet-stream",
                                          [provider](size_t at, size_t, httplib::DataSink& sink) {
                                              return provider(at, sink);
                                          });
        } else {
            response.set_chunked_content_provider("application/octet-stream", provider);
        }
    }

    std::string m_package;
    httplib::Server m_http;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_mutex;
    std::vector<std::string> m_ranges;
};

class Download : public IsolatedTest {
  protected:
    void SetUp() override {
        lastReportedPercent = 0;
        context.installDir = productFolderFor(env.root + "/安装 dir");
        ASSERT_TRUE(createProductFolder(context.installDir));
        context.mainWindow = &windowToken;
        context.progressCallback = [this](double percent, void* window) {
            percents.push_back(percent);
            EXPECT_EQ(window, &windowToken);
        };
        context.downloadDoneCallback = [this] { ++completions; };
        timing.pause = std::chrono::milliseconds(10);
        timing.attempts = 20;
    }

    // Downloads from the started server; true when the package arrived intact.
    bool downloadFrom(PackageServer& server) {
        context.packageUrl = server.start();
        return downloadPackage(context, timing) && completions == 1 &&
               readFile(archive()) == package;
    }
    std::string archive() const { return archivePathFor(context.installDir); }

    void expectIncreasingPercents() {
        ASSERT_FALSE(percents.empty());
        EXPECT_GT(percents.front(), 0.0);
        EXPECT_LE(percents.back(), 100.0);
        EXPECT_EQ(std::adjacent_find(percents.begin(), percents.end(), std::greater_equal<>()),
                  percents.end());
    }

    InstallerContext context;
    DownloadTiming timing;
    int windowToken = 0;
    std::vector<double> percents;
    int completions = 0;
    const std::string package = makePackage(600 * 1024 + 17);
};

TEST_F(Download, FastServerAfterRedirectOneAttemptFromZero) {
    writeFile(archive(), std::string(4096, 'S'));  // left by an earlier run
    PackageServer server(package);
    server.start();
    context.packageUrl = server.url().substr(0, server.url().find("/client")) + "/moved";
    ASSERT_TRUE(downloadPackage(context, timing));
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(readFile(archive()) == package);
    EXPECT_EQ(server.ranges(), std::vector<std::string>{""});
    expectIncreasingPercents();
    EXPECT_EQ(percents.back(), 100.0);
}

TEST_F(Download, SlowServerResumesAfterEverySlice) {
    PackageServer server(package);
    server.chunkDelay = std::chrono::milliseconds(150);
    timing.slice = std::chrono::milliseconds(1000);
    ASSERT_TRUE(downloadFrom(server));
    std::vector<std::string> ranges = server.ranges();
    ASSERT_GE(ranges.size(), 2u);
    EXPECT_EQ(ranges[0], "");
    for (size_t i = 1; i < ranges.size(); ++i) {
        ASSERT_EQ(ranges[i].rfind("bytes=", 0), 0u) << ranges[i];
        EXPECT_LT(std::stoll(ranges[i].substr(6)), static_cast<std::int64_t>(package.size()));
        EXPECT_TRUE(i == 1 ||
                    std::stoll(ranges[i].substr(6)) > std::stoll(ranges[i - 1].substr(6)));
    }
    expectIncreasingPercents();
}

TEST_F(Download, DroppedConnectionsResumeToAnIdenticalFile) {
    PackageServer server(package);
    server.dropAfter = {100000, 1, 0, 250000};
    ASSERT_TRUE(downloadFrom(server));
    EXPECT_EQ(server.ranges(), (std::vector<std::string>{"", "bytes=100000-", "bytes=100001-",
                                                         "bytes=100001-", "bytes=350001-"}));
    expectIncreasingPercents();
}

TEST_F(Download, WithoutLengthNoPercentButComplete) {
    PackageServer server(package);
    server.sendLength = false;
    ASSERT_TRUE(downloadFrom(server));
    EXPECT_TRUE(percents.empty());
}

TEST_F(Download, ErrorStatusesAreNeverWrittenAndFinallyFail) {
    timing.attempts = 3;
    for (int status : {404, 500}) {
        PackageServer server(package);
        server.errorStatus = status;
        EXPECT_FALSE(downloadFrom(server)) << status;
        EXPECT_EQ(server.ranges(), std::vector<std::string>(3, "")) << status;
        EXPECT_EQ(readFile(archive()), "") << status;
        EXPECT_EQ(completions, 0);
        EXPECT_TRUE(percents.empty()) << status;
    }
}

TEST_F(Download, IgnoredRangeRestartsTheFileFromZero) {
    PackageServer server(package);
    server.honourRange = false;
    server.dropAfter = {200000};
    ASSERT_TRUE(downloadFrom(server)) << readFile(archive()).size();
    EXPECT_EQ(server.ranges(), (std::vector<std::string>{"", "bytes=200000-", ""}));
}

TEST_F(Download, AlreadyCompleteFileAnsweredWith416IsDone) {
    PackageServer server(package);
    context.packageUrl = server.start();
    writeFile(archive(), package);
    platform::FileHandle file = platform::openFileForAppend(archive());
    EXPECT_TRUE(transferOnce(context, file, timing));
    // A file longer than the package is not complete: that 416 is a failure.
    platform::appendToFile(file, "x", 1);
    EXPECT_FALSE(transferOnce(context, file, timing));
    platform::closeFile(file);
    EXPECT_TRUE(readFile(archive()) == package + "x");
    EXPECT_EQ(server.ranges().size(), 2u);
}

TEST_F(Download, UnreachableServerAndUnwritableArchiveFail) {
    context.packageUrl = "http://127.0.0.1:1/nothing";
    timing.attempts = 2;
    EXPECT_FALSE(downloadPackage(context, timing));
    PackageServer server(package);
    context.installDir = env.root + "/no such folder/win-ia32-unpacked";
    EXPECT_FALSE(downloadFrom(server));
    context.installDir.clear();
    EXPECT_FALSE(downloadPackage(context, timing));
    EXPECT_FALSE(platform::fileExists(".rar"));
    EXPECT_TRUE(server.ranges().empty());
}

}  // namespace
