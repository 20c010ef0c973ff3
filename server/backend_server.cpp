#include "server/backend_server.h"

#include <httplib.h>

#include "server/api_routes.h"
#include "server/faults.h"
#include "server/guarded_server.h"
#include "server/package_route.h"
#include "server/request_log.h"
#include "server/server_context.h"

namespace server {
namespace {

void logUnstreamedResponse(const httplib::Request& req, const httplib::Response& res) {
    // Streamed package replies log themselves when they end, with the number
    // of bytes that really went out.
    if (res.content_provider_) {
        return;
    }
    RequestSummary summary = summarizeRequest(req);
    summary.status = res.status;
    summary.bodyBytes = req.method == "HEAD" ? 0 : res.body.size();
    logRequest(summary);
}

// httplib binds with SO_REUSEPORT, so a second backend on a taken port would
// start without complaint and silently share the connections with the first.
// Asking the port first keeps that from happening (a race with a server that
// starts at the same instant remains).
bool somethingListensOn(const std::string& host, int port) {
    std::string probeHost = host == "0.0.0.0" ? "127.0.0.1" : host;
    httplib::Client probe(probeHost, port);
    probe.set_connection_timeout(1, 0);
    probe.set_read_timeout(1, 0);
    httplib::Result res = probe.Head("/");
    return res || res.error() != httplib::Error::Connection;
}

// A request whose body the backend will not take is answered before the body
// is read, and before any fault.
bool refuseBody(const httplib::Request& req, httplib::Response& res) {
    int status = bodyRefusal(req);
    if (status != 0) {
        res.status = status;
        res.set_content("hobnar-backend: request body refused\n", "text/plain");
    }
    return status != 0;
}

}  // namespace

struct BackendServer::Impl {
    ServerContext ctx;
    GuardedServer http{RequestLimits()};
};

BackendServer::BackendServer(const ServerOptions& options, const PackageFacts& package,
                             EventStore& events)
    : m_impl(std::make_unique<Impl>()) {
    ServerContext& ctx = m_impl->ctx;
    ctx.options = options;
    ctx.package = package;
    ctx.events = &events;
    httplib::Server& http = m_impl->http;
    http.set_expect_100_continue_handler([](const httplib::Request& req, httplib::Response& res) {
        return refuseBody(req, res) ? res.status : 100;
    });
    http.set_pre_routing_handler([&ctx](const httplib::Request& req, httplib::Response& res) {
        return refuseBody(req, res) || applyFaults(req, res, ctx)
                   ? httplib::Server::HandlerResponse::Handled
                   : httplib::Server::HandlerResponse::Unhandled;
    });
    http.set_logger(logUnstreamedResponse);
    registerApiRoutes(http, ctx);
    http.Get(kPackagePath, [&ctx](const httplib::Request& req, httplib::Response& res) {
        handlePackage(req, res, ctx);
    });
    http.Get(kSignaturePath, [&ctx](const httplib::Request&, httplib::Response& res) {
        handleSignature(res, ctx);
    });
}

BackendServer::~BackendServer() {
    stop();
}

int BackendServer::bind(std::string& error) {
    const ServerOptions& o = m_impl->ctx.options;
    int port = -1;
    if (o.port != 0 && somethingListensOn(o.host, o.port)) {
        error = "port " + std::to_string(o.port) + " on " + o.host + " is already in use";
        return -1;
    }
    if (o.port == 0) {
        port = m_impl->http.bind_to_any_port(o.host);
    } else if (m_impl->http.bind_to_port(o.host, o.port)) {
        port = o.port;
    }
    if (port <= 0 || !m_impl->http.widenBacklog()) {
        error = "cannot listen on " + o.host + ":" + std::to_string(o.port);
        return -1;
    }
    m_impl->ctx.boundPort = port;
    return port;
}

bool BackendServer::serve() {
    return m_impl->http.listen_after_bind();
}

void BackendServer::stop() {
    m_impl->ctx.stopping.store(true);
    m_impl->http.stop();
}

}  // namespace server
