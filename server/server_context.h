// State shared by the routes of one running hobnar-backend.  The options and
// package facts are fixed before the first request; `stopping` is set once,
// by the shutdown path, and read by every long-running reply so that it ends
// promptly.
#pragma once

#include <atomic>
#include <cstdint>

#include "server/event_store.h"
#include "server/options.h"
#include "server/package_facts.h"

namespace server {

constexpr const char* kPackagePath = "/client/win/mainprogram/win-ia32-unpacked.rar";
constexpr const char* kSignaturePath = "/client/win/mainprogram/win-ia32-unpacked.rar.minisig";
constexpr const char* kSaveLogPath = "/v1/app/operationLog/saveLog";

struct ServerContext {
    ServerOptions options;
    PackageFacts package;
    EventStore* events = nullptr;
    int boundPort = 0;
    std::atomic<bool> stopping{false};
    std::atomic<std::uint64_t> packageRequests{0};  // counted for --fail-first
};

// Sleeps up to `seconds`, waking early when the server is stopping.
void sleepUnlessStopping(double seconds, const std::atomic<bool>& stopping);

}  // namespace server
