// The POSIX registry store: an SQLite file where the environment says, with
// the documented schema, keeping any bytes.
#include <sqlite3.h>

#include <filesystem>

#include "platform/platform.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;

namespace {

const char* const kKey = "SOFTWARE\\ZorozAvuzado";

// One fixture type for the suite, whose cases live in more than one file.
using RegistryStore = IsolatedTest;

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

TEST_F(RegistryStore, KeepsBytesThatAreNotText) {
    std::string binary("a\0b\xff", 4);
    ASSERT_TRUE(platform::registryWrite(kKey, "binary", binary));
    EXPECT_EQ(platform::registryRead(kKey, "binary"), binary);
}

}  // namespace
