#include "server/event_store.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/platform.h"

namespace server {
namespace {

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS events ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " received_at TEXT NOT NULL,"
    " promoteid TEXT,"
    " content_type TEXT,"
    " body TEXT NOT NULL)";

void bindOptional(sqlite3_stmt* stmt, int index, const std::optional<std::string>& value) {
    if (value) {
        sqlite3_bind_text(stmt, index, value->data(), static_cast<int>(value->size()),
                          SQLITE_TRANSIENT);
    } else {
        sqlite3_bind_null(stmt, index);
    }
}

std::string columnText(sqlite3_stmt* stmt, int index) {
    const void* data = sqlite3_column_blob(stmt, index);
    int size = sqlite3_column_bytes(stmt, index);
    return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), size);
}

std::optional<std::string> columnOptional(sqlite3_stmt* stmt, int index) {
    if (sqlite3_column_type(stmt, index) == SQLITE_NULL) {
        return std::nullopt;
    }
    return columnText(stmt, index);
}

}  // namespace

EventStore::~EventStore() {
    close();
}

bool EventStore::open(const std::string& path, bool create, std::string& error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    int flags = create ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        error = "cannot open event store '" + path + "': " + sqlite3_errmsg(m_db);
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, 5000);
    if (create && sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = "cannot create the events table in '" + path + "': " + sqlite3_errmsg(m_db);
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    }
    return true;
}

void EventStore::close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    sqlite3_close(m_db);
    m_db = nullptr;
}

bool EventStore::add(const std::string& receivedAt, const std::optional<std::string>& promoteid,
                     const std::optional<std::string>& contentType, const std::string& body) {
    std::lock_guard<std::mutex> lock(m_mutex);
    sqlite3_stmt* stmt = nullptr;
    const char* sql =
        "INSERT INTO events (received_at, promoteid, content_type, body) VALUES (?, ?, ?, ?)";
    if (m_db == nullptr || sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        return false;
    }
    bindOptional(stmt, 1, receivedAt);
    bindOptional(stmt, 2, promoteid);
    bindOptional(stmt, 3, contentType);
    bindOptional(stmt, 4, body);
    bool ok = sqlite3_step(stmt) == SQLITE_DONE;
    sqlite3_finalize(stmt);
    return ok;
}

bool EventStore::listEvents(std::vector<StoredEvent>& events) {
    std::lock_guard<std::mutex> lock(m_mutex);
    sqlite3_stmt* stmt = nullptr;
    const char* sql =
        "SELECT id, received_at, promoteid, content_type, body FROM events ORDER BY id";
    if (m_db == nullptr || sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        return false;
    }
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        StoredEvent event;
        event.id = sqlite3_column_int64(stmt, 0);
        event.receivedAt = columnText(stmt, 1);
        event.promoteid = columnOptional(stmt, 2);
        event.contentType = columnOptional(stmt, 3);
        event.body = columnText(stmt, 4);
        events.push_back(std::move(event));
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

std::string eventToJsonLine(const StoredEvent& event) {
    // Keys in the documented order, for people reading the listing.
    nlohmann::ordered_json line = nlohmann::ordered_json::object();
    line["id"] = event.id;
    line["receivedAt"] = event.receivedAt;
    line["promoteid"] = event.promoteid ? nlohmann::json(*event.promoteid) : nlohmann::json();
    line["contentType"] = event.contentType ? nlohmann::json(*event.contentType) : nlohmann::json();
    line["body"] = event.body;
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string isoUtcTimestamp(std::int64_t millisSinceEpoch) {
    return platform::logTimestamp(std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::milliseconds(millisSinceEpoch))));
}

std::string isoUtcNow() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return isoUtcTimestamp(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace server
