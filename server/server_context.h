// State shared by the routes of one running hobnar-backend.  The options are
// fixed before the first request; `stopping` is set once, by the shutdown
// path, and read by every long-running reply so that it ends promptly.
#pragma once

#include <atomic>
#include <cstdint>

#include "server/event_store.h"
#include "server/options.h"

namespace server {

constexpr const char* kPackagePath = "/client/win/mainprogram/win-ia32-unpacked.rar";

struct ServerContext {
    ServerOptions options;
    EventStore* events = nullptr;
    int boundPort = 0;
    std::atomic<bool> stopping{false};
    std::atomic<std::uint64_t> packageRequests{0};  // counted for --fail-first
};

// Sleeps up to `seconds`, waking early when the server is stopping.
void sleepUnlessStopping(double seconds, const std::atomic<bool>& stopping);

}  // namespace server
