// Range decisions and the event store's own formats.
#include <gtest/gtest.h>

#include "server/byte_range.h"
#include "server/event_store.h"
#include "tests/support/test_env.h"

namespace {

using server::RangePlan;

TEST(ByteRange, PlansForAFileOf1000Bytes) {
    struct Row {
        std::string header;
        RangePlan::Kind kind;
        std::uint64_t start;
        std::uint64_t length;
    };
    const std::vector<Row> rows = {
        {"", RangePlan::Whole, 0, 1000},
        {"bytes=0-", RangePlan::Partial, 0, 1000},
        {"bytes=100-", RangePlan::Partial, 100, 900},
        {"bytes=999-", RangePlan::Partial, 999, 1},
        {"bytes=1000-", RangePlan::Unsatisfiable, 0, 0},
        {"bytes=5000-6000", RangePlan::Unsatisfiable, 0, 0},
        {"bytes=10-19", RangePlan::Partial, 10, 10},
        {"bytes=10-10", RangePlan::Partial, 10, 1},
        {"bytes=990-5000", RangePlan::Partial, 990, 10},
        {"bytes=-100", RangePlan::Partial, 900, 100},
        {"bytes=-5000", RangePlan::Partial, 0, 1000},
        {"bytes=-0", RangePlan::Unsatisfiable, 0, 0},
        {"Bytes=7-8", RangePlan::Partial, 7, 2},
        {"bytes = 7-8", RangePlan::Whole, 0, 1000},
        {"bytes=20-10", RangePlan::Whole, 0, 1000},
        {"bytes=0-1,5-6", RangePlan::Whole, 0, 1000},
        {"bytes=-", RangePlan::Whole, 0, 1000},
        {"bytes=a-", RangePlan::Whole, 0, 1000},
        {"items=0-5", RangePlan::Whole, 0, 1000},
        {"bytes=99999999999999999999999-", RangePlan::Whole, 0, 1000},
    };
    for (const Row& row : rows) {
        RangePlan plan = server::planRange(row.header, 1000);
        EXPECT_EQ(plan.kind, row.kind) << row.header;
        if (plan.kind != RangePlan::Unsatisfiable) {
            EXPECT_EQ(plan.start, row.start) << row.header;
            EXPECT_EQ(plan.length, row.length) << row.header;
        }
    }
}

TEST(ByteRange, AnEmptyFileSatisfiesNoRange) {
    EXPECT_EQ(server::planRange("bytes=0-", 0).kind, RangePlan::Unsatisfiable);
    EXPECT_EQ(server::planRange("bytes=-1", 0).kind, RangePlan::Unsatisfiable);
    EXPECT_EQ(server::planRange("", 0).kind, RangePlan::Whole);
}

TEST(EventStoreFormats, IsoUtcTimestamps) {
    const std::vector<std::pair<std::int64_t, std::string>> rows = {
        {0, "1970-01-01T00:00:00.000Z"},
        {951782400123, "2000-02-29T00:00:00.123Z"},
        {1709251199999, "2024-02-29T23:59:59.999Z"},
        {4102444800000, "2100-01-01T00:00:00.000Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
    };
    for (const auto& [millis, text] : rows) {
        EXPECT_EQ(server::isoUtcTimestamp(millis), text) << millis;
    }
}

TEST(EventStoreFormats, JsonLineKeepsBodiesAndNulls) {
    server::StoredEvent event;
    event.id = 7;
    event.receivedAt = "2025-01-31T08:15:00.123Z";
    event.body = "{\"btnId\":\"pc_click_use\",\"name\":\"\xE8\xAF\xAD\xE9\x9F\xB3\"}";
    EXPECT_EQ(server::eventToJsonLine(event),
              "{\"id\":7,\"receivedAt\":\"2025-01-31T08:15:00.123Z\",\"promoteid\":null,"
              "\"contentType\":null,\"body\":\"{\\\"btnId\\\":\\\"pc_click_use\\\",\\\"name\\\":"
              "\\\"\xE8\xAF\xAD\xE9\x9F\xB3\\\"}\"}");
    event.body = "bad \xff byte";
    EXPECT_NE(server::eventToJsonLine(event).find("\"body\":\"bad \xEF\xBF\xBD byte\""),
              std::string::npos);
}

class EventStoreTest : public testsupport::IsolatedTest {};

TEST_F(EventStoreTest, KeepsArrivalOrderAcrossReopening) {
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
    EXPECT_EQ(events[0].body, "first");
    EXPECT_EQ(events[0].promoteid, std::optional<std::string>("p"));
    EXPECT_LT(events[0].id, events[1].id);
    EXPECT_EQ(events[1].body, std::string("a\0b", 3));
    EXPECT_EQ(events[1].promoteid, std::nullopt);
    EXPECT_EQ(events[1].contentType, std::nullopt);
    EXPECT_FALSE(reader.add("t3", std::nullopt, std::nullopt, "read-only"));
    EXPECT_FALSE(server::EventStore().open(env.root + "/missing.db", false, error));
}

}  // namespace
