// The registry hive as an SQLite file.  One connection per call keeps the
// contract of the Windows calls it replaces (open, use, close) and makes every
// write its own transaction.
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace platform {
namespace {

constexpr int kBusyTimeoutMs = 15000;

// Set once a write found the store held by someone else for a whole busy
// timeout: later calls of this run do not wait again, so a locked store
// costs one timeout, not one per value.  A call that gets through clears it.
std::atomic<bool> g_storeLocked{false};

int busyTimeoutMs() {
    if (g_storeLocked) {
        return 0;
    }
    // Tests shorten the wait; a run never sets this.
    const char* configured = std::getenv("HOBNAR_REGISTRY_BUSY_MS");
    return configured && *configured ? std::atoi(configured) : kBusyTimeoutMs;
}

bool isBusy(int rc) {
    return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
}

// Remembers how a call against the store ended.
bool settle(int rc, bool succeeded) {
    if (succeeded) {
        g_storeLocked = false;
    } else if (isBusy(rc)) {
        g_storeLocked = true;
    }
    return succeeded;
}

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS registry_values("
    "key TEXT NOT NULL COLLATE NOCASE, "
    "name TEXT NOT NULL COLLATE NOCASE, "
    "type INTEGER NOT NULL, "
    "data BLOB NOT NULL, "
    "PRIMARY KEY (key, name))";

class Connection {
  public:
    explicit Connection(sqlite3* db) : m_db(db) {}
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    sqlite3* get() const { return m_db; }

  private:
    sqlite3* m_db;
};

class Statement {
  public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }
    bool ok() const { return m_stmt != nullptr; }
    void bindText(int index, const std::string& text) {
        sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }

  private:
    sqlite3_stmt* m_stmt = nullptr;
};

sqlite3* openDatabase(const std::string& path, int flags) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, busyTimeoutMs());
    return db;
}

// Switching a fresh file to WAL needs an exclusive lock that the busy handler
// does not always wait for, so a busy answer is retried until the timeout.
bool execWithRetry(sqlite3* db, const char* sql) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(busyTimeoutMs());
    for (;;) {
        int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            return true;
        }
        if (!isBusy(rc) || std::chrono::steady_clock::now() > deadline) {
            return settle(rc, false);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

sqlite3* openForWriting(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        makeFolders(path.substr(0, slash));
    }
    sqlite3* db = openDatabase(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (db == nullptr) {
        return nullptr;
    }
    // With the write-ahead log a commit stays atomic whatever happens to the
    // process; NORMAL only leaves the last commits' flush to the system, as
    // the Windows registry does with its lazy flush, and spares every value
    // an fsync (the installer writes about fifteen before its window shows).
    if (!execWithRetry(db, "PRAGMA journal_mode=WAL") ||
        !execWithRetry(db, "PRAGMA synchronous=NORMAL") || !execWithRetry(db, kSchema)) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    return db;
}

// Reading never creates the store: a machine without one simply has no values.
sqlite3* openForReading(const std::string& path) {
    sqlite3* db = openDatabase(path, SQLITE_OPEN_READWRITE);
    return db ? db : openDatabase(path, SQLITE_OPEN_READONLY);
}

}  // namespace

std::string registryStorePath() {
    const char* overridePath = std::getenv("HOBNAR_REGISTRY_DB");
    if (overridePath != nullptr && overridePath[0] != '\0') {
        return overridePath;
    }
    std::string base = localAppDataDir();
    return base.empty() ? std::string() : base + "/hobnar/registry.db";
}

std::optional<std::string> registryRead(const std::string& key, const std::string& name) {
    std::string path = registryStorePath();
    if (path.empty() || !fileExists(path)) {
        return std::nullopt;
    }
    sqlite3* raw = openForReading(path);
    if (raw == nullptr) {
        return std::nullopt;
    }
    Connection db(raw);
    Statement select(db.get(), "SELECT data FROM registry_values WHERE key = ?1 AND name = ?2");
    if (!select.ok()) {
        return std::nullopt;
    }
    select.bindText(1, key);
    select.bindText(2, name);
    if (sqlite3_step(select.get()) != SQLITE_ROW) {
        return std::nullopt;
    }
    const void* bytes = sqlite3_column_blob(select.get(), 0);
    int size = sqlite3_column_bytes(select.get(), 0);
    if (bytes == nullptr || size <= 0) {
        return std::string();
    }
    return std::string(static_cast<const char*>(bytes), static_cast<size_t>(size));
}

bool registryWrite(const std::string& key, const std::string& name, const std::string& data) {
    std::string path = registryStorePath();
    if (path.empty()) {
        return false;
    }
    sqlite3* raw = openForWriting(path);
    if (raw == nullptr) {
        return false;
    }
    Connection db(raw);
    Statement upsert(db.get(),
                     "INSERT INTO registry_values(key, name, type, data) VALUES(?1, ?2, 1, ?3) "
                     "ON CONFLICT(key, name) DO UPDATE SET type = 1, data = excluded.data");
    if (!upsert.ok()) {
        return false;
    }
    upsert.bindText(1, key);
    upsert.bindText(2, name);
    // A zero-length blob must stay a blob: binding an empty pointer would store NULL.
    if (data.empty()) {
        sqlite3_bind_zeroblob(upsert.get(), 3, 0);
    } else {
        sqlite3_bind_blob(upsert.get(), 3, data.data(), static_cast<int>(data.size()),
                          SQLITE_TRANSIENT);
    }
    int rc = sqlite3_step(upsert.get());
    return settle(rc, rc == SQLITE_DONE);
}

bool registryDelete(const std::string& key, const std::string& name) {
    std::string path = registryStorePath();
    if (path.empty() || !fileExists(path)) {
        return false;
    }
    sqlite3* raw = openForWriting(path);
    if (raw == nullptr) {
        return false;
    }
    Connection db(raw);
    Statement remove(db.get(), "DELETE FROM registry_values WHERE key = ?1 AND name = ?2");
    if (!remove.ok()) {
        return false;
    }
    remove.bindText(1, key);
    remove.bindText(2, name);
    return sqlite3_step(remove.get()) == SQLITE_DONE && sqlite3_changes(db.get()) > 0;
}

}  // namespace platform
