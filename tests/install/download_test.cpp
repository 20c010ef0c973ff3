#include <gtest/gtest.h>

#include "install/download.h"
#include "install/response.h"

using namespace install;

namespace {

constexpr std::int64_t kGiB = 1073741824;

TEST(DownloadArithmetic, PercentIsSixtyFourBitAndTruncated) {
    struct Row {
        std::int64_t offset, done, total;
        int percent;
    } rows[] = {
        {0, 0, 0, -1},
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
        std::int64_t first = -1, last = -1, length = -1;
    } rows[] = {
        {"bytes 0-99/100", true, 0, 99, 100},
        {" bytes 100-199/1000\r\n", true, 100, 199, 1000},
        {"bytes 4294967296-8589934591/8589934592", true, 4 * kGiB, 8 * kGiB - 1, 8 * kGiB},
        {"bytes */5368709120", true, -1, -1, 5 * kGiB},
        {"bytes 0-99/*", true, 0, 99, -1},
        {"bytes 5-4/10", false},
        {"bytes 100-200/150", false},
        {"bytes */*", false},
        {"bits 0-1/2", false},
        {"bytes -5/10", false},
    };
    for (const Row& row : rows) {
        ContentRange range = parseContentRange(row.value);
        EXPECT_EQ(range.valid, row.valid) << row.value;
        EXPECT_TRUE(!row.valid || (range.first == row.first && range.last == row.last &&
                                   range.completeLength == row.length))
            << row.value;
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
        {200, 4096, "bytes 4096-8191/8192", ResponseVerdict::Append},
        {200, 4096, "bytes 0-8191/8192", ResponseVerdict::Restart},
        {206, 4096, "bytes 4096-8191/8192", ResponseVerdict::Append},
        {206, 5 * kGiB, "bytes 5368709120-6442450943/6442450944", ResponseVerdict::Append},
        {206, 5 * kGiB + 1, "bytes 5368709120-6442450943/6442450944", ResponseVerdict::Reject},
        {206, 4096, "", ResponseVerdict::Reject},
        {416, 5 * kGiB, "bytes */5368709120", ResponseVerdict::Complete},
        {416, 4096, "bytes */8192", ResponseVerdict::Reject},
        {416, 0, "bytes */0", ResponseVerdict::Reject},
        {416, 4096, "", ResponseVerdict::Reject},
        {500, 4096, "bytes 4096-8191/8192", ResponseVerdict::Reject},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(judgeResponse(row.status, row.offset, row.contentRange), row.verdict)
            << row.status << " at " << row.offset << " " << row.contentRange;
    }
}

TEST(DownloadArithmetic, OnlyAnswersThatCannotChangeAreLasting) {
    for (long status : {400L, 401L, 403L, 404L, 410L}) {
        EXPECT_TRUE(isLastingStatus(status)) << status;
    }
    for (long status : {0L, 200L, 206L, 301L, 408L, 416L, 429L, 500L, 502L, 503L}) {
        EXPECT_FALSE(isLastingStatus(status)) << status;
    }
}

}  // namespace
