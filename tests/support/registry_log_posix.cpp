// RegistryWriteLog on the SQLite store: triggers record every write in order;
// the installer itself knows nothing of it.
#include <sqlite3.h>

#include "tests/support/registry_log.h"

namespace testsupport {

struct RegistryWriteLog::Store {
    sqlite3* db = nullptr;
    void exec(const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
};

RegistryWriteLog::RegistryWriteLog(const TempEnvironment& env) : m_store(new Store) {
    sqlite3_open(env.registryDb.c_str(), &m_store->db);
    m_store->exec("PRAGMA journal_mode=WAL");
    m_store->exec(
        "CREATE TABLE IF NOT EXISTS registry_values(key TEXT NOT NULL COLLATE NOCASE, name "
        "TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY "
        "(key, name))");
    m_store->exec("CREATE TABLE write_log(seq INTEGER PRIMARY KEY, name TEXT)");
    m_store->exec(
        "CREATE TRIGGER log_insert AFTER INSERT ON registry_values BEGIN "
        "INSERT INTO write_log(name) VALUES (new.name); END");
    m_store->exec(
        "CREATE TRIGGER log_update AFTER UPDATE ON registry_values BEGIN "
        "INSERT INTO write_log(name) VALUES (new.name); END");
}

RegistryWriteLog::~RegistryWriteLog() {
    sqlite3_close(m_store->db);
}

bool RegistryWriteLog::observable() const {
    return true;
}

std::vector<std::string> RegistryWriteLog::names() {
    std::vector<std::string> result;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(m_store->db, "SELECT name FROM write_log ORDER BY seq", -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        result.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    return result;
}

void RegistryWriteLog::clear() {
    m_store->exec("DELETE FROM write_log");
}

}  // namespace testsupport
