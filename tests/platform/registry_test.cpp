#include <signal.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/platform.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

using testsupport::ChildProcess;
using testsupport::IsolatedTest;

namespace {

const char* const kKey = "SOFTWARE\\ZorozAvuzado";

class RegistryStore : public IsolatedTest {};

std::string columnDescription(const std::string& dbPath) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE name = 'registry_values'", -1,
                       &stmt, nullptr);
    std::string sql;
    if (sqlite3_step(stmt) == SQLITE_ROW) {
        sql = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return sql;
}

TEST_F(RegistryStore, ValuesOfAnyLengthReadBackWhole) {
    std::string big(10000, 'x');
    big[9999] = 'E';
    ASSERT_TRUE(platform::registryWrite(kKey, "big", big));
    EXPECT_EQ(platform::registryRead(kKey, "big"), big);

    ASSERT_TRUE(platform::registryWrite(kKey, "empty", ""));
    std::optional<std::string> empty = platform::registryRead(kKey, "empty");
    ASSERT_TRUE(empty.has_value()) << "a zero-length value exists";
    EXPECT_EQ(*empty, "");
    EXPECT_FALSE(platform::registryRead(kKey, "missing").has_value());

    std::string binary("a\0b\xff", 4);
    ASSERT_TRUE(platform::registryWrite(kKey, "binary", binary));
    EXPECT_EQ(platform::registryRead(kKey, "binary"), binary);
}

TEST_F(RegistryStore, NamesMatchCaseInsensitivelyAndOverwriteInPlace) {
    ASSERT_TRUE(platform::registryWrite(kKey, "pcId", "one"));
    EXPECT_EQ(platform::registryRead("software\\zorozavuzado", "PCID"), "one");
    ASSERT_TRUE(platform::registryWrite("SOFTWARE\\ZOROZAVUZADO", "PcId", "two"));
    EXPECT_EQ(platform::registryRead(kKey, "pcId"), "two");
    EXPECT_FALSE(platform::registryRead("SOFTWARE\\Other", "pcId").has_value());

    EXPECT_TRUE(platform::registryDelete(kKey, "PCID"));
    EXPECT_FALSE(platform::registryRead(kKey, "pcId").has_value());
    EXPECT_FALSE(platform::registryDelete(kKey, "pcId"));
}

TEST_F(RegistryStore, LivesWhereConfiguredWithTheDocumentedSchema) {
    EXPECT_EQ(platform::registryStorePath(), env.registryDb);
    EXPECT_FALSE(platform::registryRead(kKey, "x").has_value());
    EXPECT_FALSE(std::filesystem::exists(env.registryDb)) << "reading never creates the store";

    ASSERT_TRUE(platform::registryWrite(kKey, "x", "1"));
    EXPECT_EQ(
        columnDescription(env.registryDb),
        "CREATE TABLE registry_values(key TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL "
        "COLLATE NOCASE, type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY (key, name))");

    testsupport::setEnv("HOBNAR_REGISTRY_DB", nullptr);
    EXPECT_EQ(platform::registryStorePath(), env.stateHome + "/hobnar/registry.db");
    ASSERT_TRUE(platform::registryWrite(kKey, "y", "2"));
    EXPECT_TRUE(std::filesystem::exists(env.stateHome + "/hobnar/registry.db"));

    testsupport::setEnv("XDG_STATE_HOME", nullptr);
    testsupport::setEnv("HOME", nullptr);
    EXPECT_EQ(platform::registryStorePath(), "");
    EXPECT_FALSE(platform::registryWrite(kKey, "z", "3"));
    EXPECT_FALSE(platform::registryRead(kKey, "y").has_value());
}

TEST_F(RegistryStore, TwoProcessesWritingAtOnceLoseNothing) {
    const int count = 150;
    std::string writer = testsupport::buildToolPath("registry_writer");
    ChildProcess first({writer, "many", kKey, "first", std::to_string(count)});
    ChildProcess second({writer, "many", kKey, "second", std::to_string(count)});
    ASSERT_EQ(first.wait(), 0);
    ASSERT_EQ(second.wait(), 0);
    for (int i = 0; i < count; ++i) {
        for (std::string prefix : {"first", "second"}) {
            std::string name = prefix + std::to_string(i);
            ASSERT_EQ(platform::registryRead(kKey, name), name);
        }
    }
}

TEST_F(RegistryStore, AProcessKilledMidWriteLeavesAWholeValue) {
    const size_t size = 200000;
    ASSERT_TRUE(platform::registryWrite(kKey, "blob", std::string(size, '0')));
    std::string writer = testsupport::buildToolPath("registry_writer");
    for (int round = 0; round < 5; ++round) {
        ChildProcess loop({writer, "loop", kKey, "blob", std::to_string(size)});
        std::this_thread::sleep_for(std::chrono::milliseconds(40 + 37 * round));
        loop.kill(SIGKILL);
        EXPECT_EQ(loop.wait(), 128 + SIGKILL);

        std::optional<std::string> value = platform::registryRead(kKey, "blob");
        ASSERT_TRUE(value.has_value());
        ASSERT_EQ(value->size(), size);
        EXPECT_EQ(value->find_first_not_of((*value)[0]), std::string::npos)
            << "a value is either the old or a new one, never a mix";
    }
}

}  // namespace
