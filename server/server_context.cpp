#include "server/server_context.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace server {

void sleepUnlessStopping(double seconds, const std::atomic<bool>& stopping) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(seconds));
    // Short naps so that a signal stops a stalled or throttled reply quickly.
    const auto nap = std::chrono::milliseconds(20);
    while (!stopping.load() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::min<Clock::duration>(nap, deadline - Clock::now()));
    }
}

}  // namespace server
