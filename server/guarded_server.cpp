#include "server/guarded_server.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace server {
namespace {

using Clock = std::chrono::steady_clock;

// How long one receive may block before the request's budget is looked at
// again; httplib puts it on every accepted socket as its receive time-out.
constexpr time_t kReceiveSliceMicros = 250000;
constexpr int kListenBacklog = 511;

// One thread per connection, started when no worker is idle, up to a cap;
// beyond the cap connections wait for a free worker.
class ElasticPool : public httplib::TaskQueue {
  public:
    explicit ElasticPool(std::size_t maxWorkers) : m_maxWorkers(maxWorkers) {}

    void enqueue(std::function<void()> job) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(job));
        if (m_idle < m_jobs.size() && m_workers.size() < m_maxWorkers) {
            try {
                m_workers.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                // Out of threads: the job waits for one of the running workers.
            }
        }
        m_wake.notify_one();
    }

    void shutdown() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (std::thread& worker : m_workers) {
            worker.join();
        }
    }

  private:
    void work() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            ++m_idle;
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            --m_idle;
            if (m_jobs.empty()) {
                return;
            }
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    const std::size_t m_maxWorkers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_workers;
    std::size_t m_idle = 0;
    bool m_stopping = false;
};

// A connection read through the request's limits.  httplib reads a request
// line and header fields, then (after setupRequest) the body; the phase
// decides which byte budget applies.  Client addresses are not looked up:
// nothing in the backend uses them.
class RequestStream : public httplib::Stream {
  public:
    RequestStream(socket_t sock, const RequestLimits& limits,
                  const std::atomic<socket_t>& listening)
        : m_sock(sock), m_limits(limits), m_listening(listening), m_buffer(16 * 1024) {}

    bool is_readable() const override { return true; }
    bool is_writable() const override { return true; }
    void get_remote_ip_and_port(std::string& ip, int& port) const override { noAddress(ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { noAddress(ip, port); }
    socket_t socket() const override { return m_sock; }

    ssize_t write(const char* data, size_t size) override {
        return httplib::detail::send_socket(m_sock, data, size, 0);
    }

    ssize_t read(char* data, size_t size) override {
        std::size_t budget = m_inBody ? m_limits.bodyWireBytes : m_limits.headerBytes;
        if (m_broken || m_consumed >= budget || (m_begin == m_end && !receive())) {
            m_broken = true;
            return m_endOfStream ? 0 : -1;
        }
        std::size_t count = std::min({size, m_end - m_begin, budget - m_consumed});
        std::memcpy(data, m_buffer.data() + m_begin, count);
        m_begin += count;
        m_consumed += count;
        return static_cast<ssize_t>(count);
    }

    void beginRequest() {
        m_inBody = false;
        m_consumed = 0;
        m_waited = Clock::duration::zero();
        m_declaredBody = 0;
        m_chunked = false;
    }

    void beginBody(const httplib::Request& req) {
        m_inBody = true;
        m_consumed = 0;
        m_chunked = req.has_header("Transfer-Encoding");
        std::string length = req.get_header_value("Content-Length");
        const char* end = length.data() + length.size();
        auto parsed = std::from_chars(length.data(), end, m_declaredBody);
        // A length that cannot be read leaves no way to find the next request.
        m_broken = m_broken || (!length.empty() && (parsed.ec != std::errc() || parsed.ptr != end));
    }

    // After the answer: whether the connection can carry another request,
    // discarding the rest of a body the routes did not read.
    bool finishRequest() {
        if (m_broken || !m_inBody) {
            return !m_broken;
        }
        if (m_chunked ||
            m_declaredBody - std::min(m_declaredBody, m_consumed) > m_limits.drainBytes) {
            return false;
        }
        char scrap[4096];
        while (m_consumed < m_declaredBody && !m_broken) {
            read(scrap, static_cast<size_t>(
                            std::min<std::uint64_t>(sizeof scrap, m_declaredBody - m_consumed)));
        }
        return !m_broken;
    }

  private:
    static void noAddress(std::string& ip, int& port) {
        ip.clear();
        port = 0;
    }

    // Refills the buffer, waiting at most the rest of the request's budget.
    // False at the end of the stream, on an error, when the budget is spent
    // or when the server stops listening.
    bool receive() {
        const auto budget = std::chrono::duration<double>(m_limits.requestSeconds);
        while (m_waited < budget && m_listening.load() != INVALID_SOCKET) {
            Clock::time_point began = Clock::now();
            ssize_t got = httplib::detail::read_socket(m_sock, m_buffer.data(), m_buffer.size(), 0);
            m_waited += Clock::now() - began;
            if (got >= 0) {
                m_begin = 0;
                m_end = static_cast<std::size_t>(got);
                m_endOfStream = got == 0;
                return got > 0;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                return false;
            }
        }
        return false;
    }

    socket_t m_sock;
    const RequestLimits& m_limits;
    const std::atomic<socket_t>& m_listening;
    std::vector<char> m_buffer;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    bool m_inBody = false;
    bool m_broken = false;
    bool m_endOfStream = false;
    bool m_chunked = false;
    std::uint64_t m_declaredBody = 0;
    std::uint64_t m_consumed = 0;
    Clock::duration m_waited{};
};

}  // namespace

GuardedServer::GuardedServer(const RequestLimits& limits) : m_limits(limits) {
    set_read_timeout(0, kReceiveSliceMicros);
    new_task_queue = [maxWorkers = limits.maxWorkers] { return new ElasticPool(maxWorkers); };
}

bool GuardedServer::widenBacklog() {
    // httplib listens with a backlog fixed when the library was built; a
    // second listen() on the bound socket only changes the backlog.
    socket_t sock = svr_sock_;
    return sock != INVALID_SOCKET && platform::setListenBacklog(sock, kListenBacklog);
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
    RequestStream stream(sock, m_limits, svr_sock_);
    bool reusable = true;
    for (std::size_t served = 0; reusable && served < keep_alive_max_count_; ++served) {
        stream.beginRequest();
        bool clientCloses = false;
        bool last = served + 1 == keep_alive_max_count_ || svr_sock_ == INVALID_SOCKET;
        reusable = process_request(stream, last, clientCloses,
                                   [&stream](httplib::Request& req) { stream.beginBody(req); }) &&
                   !clientCloses && !last && stream.finishRequest();
    }
    httplib::detail::close_socket(sock);
    return true;
}

}  // namespace server
