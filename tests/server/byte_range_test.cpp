// Range decisions, and the event store across closing and reopening.
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
        {"bytes=100-", RangePlan::Partial, 100, 900},
        {"bytes=1000-", RangePlan::Unsatisfiable, 0, 0},
        {"bytes=10-10", RangePlan::Partial, 10, 1},
        {"bytes=990-5000", RangePlan::Partial, 990, 10},
        {"bytes=-100", RangePlan::Partial, 900, 100},
        {"bytes=-5000", RangePlan::Partial, 0, 1000},
        {"bytes=-0", RangePlan::Unsatisfiable, 0, 0},
        {"Bytes=7-8", RangePlan::Partial, 7, 2},
        {"bytes = 7-8", RangePlan::Whole, 0, 1000},
        {"bytes=20-10", RangePlan::Whole, 0, 1000},
        {"bytes=0-1,5-6", RangePlan::Whole, 0, 1000},
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

class ServerEventStore : public testsupport::IsolatedTest {};

TEST_F(ServerEventStore, KeepsArrivalOrderAcrossReopening) {
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
