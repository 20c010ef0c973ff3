// The HTTP server under the backend's routes: cpp-httplib's Server with each
// connection read through limits, so that slow or greedy clients cannot hold
// every worker or fill the memory.
//
// - Every request (the wait for it, its header and its body) must arrive
//   within requestSeconds of waiting; the time a handler spends (a stall, a
//   throttled reply) is not counted.  A client cut off mid-header gets 400.
// - The request line and header fields may take headerBytes, a body
//   bodyWireBytes on the wire; reading beyond either fails the request.
// - A body the routes left unread is discarded (up to drainBytes of a
//   declared length) so that the connection can carry the next request;
//   otherwise the connection is closed.
// - Each connection gets its own worker thread, up to maxWorkers, so that
//   stalled replies and slow clients never queue the others.  A worker whose
//   connection has ended waits for the next one; workers end with the server.
//
// Contract: configure and add routes, bind, then widenBacklog() and
// listen_after_bind() on one thread, as with httplib::Server; stop() from any
// thread.  Handlers run on the worker threads.
#pragma once

#include <httplib.h>

#include <cstddef>

namespace server {

struct RequestLimits {
    double requestSeconds = 5;
    std::size_t headerBytes = 32 * 1024;
    std::size_t bodyWireBytes = 1024 * 1024;
    std::size_t drainBytes = 1024 * 1024;
    std::size_t maxWorkers = 1024;
};

class GuardedServer : public httplib::Server {
  public:
    explicit GuardedServer(const RequestLimits& limits);

    // After a bind: a listen backlog like a production server's, instead of
    // httplib's 5, so that bursts of clients are not dropped and retried a
    // second or more later.  False when the socket refused it.
    bool widenBacklog();

  protected:
    bool process_and_close_socket(socket_t sock) override;

  private:
    RequestLimits m_limits;
};

}  // namespace server
