// hobnar-backend: the reference backend of the installer, served over HTTP
// on one address (the API routes, the event store and the package route with
// its faults).
//
// Contract: bind() then serve() on one thread; serve() blocks until stop()
// is called from any other thread, then returns after every request in
// flight has ended (stalled and throttled replies end early once stopping).
// The server copies the options and package facts and borrows the
// EventStore, which must outlive it.  Each connection is served on a thread
// of its own within the limits of guarded_server.h.
#pragma once

#include <memory>
#include <string>

#include "server/event_store.h"
#include "server/options.h"
#include "server/package_facts.h"

namespace server {

class BackendServer {
  public:
    BackendServer(const ServerOptions& options, const PackageFacts& package, EventStore& events);
    ~BackendServer();
    BackendServer(const BackendServer&) = delete;
    BackendServer& operator=(const BackendServer&) = delete;

    // Binds and listens on the configured address; returns the port, or -1
    // with the reason in `error`.
    int bind(std::string& error);
    // Accepts and answers connections until stop().  False when it could not
    // run at all.
    bool serve();
    // Thread-safe; safe to call more than once.
    void stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace server
