// The operation-log event store: an SQLite file with one row per received
// POST, kept in arrival order.
//
// Contract: one EventStore owns one database connection; add() and
// listEvents() may be called from any thread (an internal mutex serialises
// them).  Failures are values (false / empty); nothing throws.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace server {

struct StoredEvent {
    std::int64_t id = 0;
    std::string receivedAt;  // ISO-8601 UTC, e.g. 2025-01-31T08:15:00.123Z
    std::optional<std::string> promoteid;
    std::optional<std::string> contentType;
    std::string body;  // the request body exactly as received
};

class EventStore {
  public:
    EventStore() = default;
    ~EventStore();
    EventStore(const EventStore&) = delete;
    EventStore& operator=(const EventStore&) = delete;

    // Opens (creating when allowed) the file and its table; the error text
    // says why it failed.
    bool open(const std::string& path, bool create, std::string& error);
    void close();

    bool add(const std::string& receivedAt, const std::optional<std::string>& promoteid,
             const std::optional<std::string>& contentType, const std::string& body);
    // Every event, oldest first; false when the table cannot be read.
    bool listEvents(std::vector<StoredEvent>& events);

  private:
    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
};

// One event as a single-line JSON object (keys id, receivedAt, promoteid,
// contentType, body; missing headers are null).  Bytes that are not UTF-8 are
// replaced, so every stored body can be listed.
std::string eventToJsonLine(const StoredEvent& event);

// A point in time (milliseconds since 1970-01-01 UTC) as ISO-8601 UTC text.
std::string isoUtcTimestamp(std::int64_t millisSinceEpoch);
// The current time in the form of isoUtcTimestamp.
std::string isoUtcNow();

}  // namespace server
