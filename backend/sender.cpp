#include "backend/sender.h"

#include <string>
#include <system_error>
#include <utility>

#include "platform/platform.h"

namespace backend {

Sender::Sender() {
    try {
        m_thread = std::thread([this] { loop(); });
    } catch (const std::system_error&) {
        platform::debugLog("no thread for the backend requests; they are sent in turn");
    }
}

Sender::~Sender() {
    std::deque<Job> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_abandoned = true;
        dropped.swap(m_queue);
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void Sender::runJob(const Job& job) {
    try {
        job();
    } catch (...) {
        platform::debugLog("a backend request failed unexpectedly");
    }
}

void Sender::post(Job job) {
    if (!m_thread.joinable()) {
        runJob(job);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping) {
            return;
        }
        m_queue.push_back(std::move(job));
    }
    m_changed.notify_all();
}

void Sender::loop() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping) {
                return;
            }
            job = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
        }
        runJob(job);
        // Whatever the job holds is released before anyone hears it is done.
        job = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_busy = false;
        }
        m_changed.notify_all();
    }
}

bool Sender::drain(Deadline deadline) {
    std::deque<Job> dropped;
    size_t unsent = 0;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        auto settled = [this] { return m_stopping || (m_queue.empty() && !m_busy); };
        bool sent = true;
        // A wait until the clock's last instant overflows in some libraries.
        if (deadline == Deadline::max()) {
            m_changed.wait(lock, settled);
        } else {
            sent = m_changed.wait_until(lock, deadline, settled);
        }
        if (sent && !m_stopping) {
            return true;
        }
        unsent = m_queue.size() + (m_busy ? 1 : 0);
        m_stopping = true;
        m_abandoned = true;
        dropped.swap(m_queue);
    }
    m_changed.notify_all();
    if (unsent > 0) {
        platform::debugLog(std::to_string(unsent) +
                           " backend request(s) not sent in time were dropped");
    }
    return unsent == 0;
}

}  // namespace backend
