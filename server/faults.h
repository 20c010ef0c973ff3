// Faults applied before any route: --stall, --status, --reply, --redirect.
//
// Contract: installed as httplib's pre-routing handler, so it runs on the
// worker thread of every request.  It also drops httplib's parsed byte
// ranges: httplib would otherwise cut every reply to the requested range by
// itself, on top of the package route's own range handling.
#pragma once

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace server {

struct ServerContext;

// True when a fault has answered the request; false lets routing go on.
bool applyFaults(const httplib::Request& req, httplib::Response& res, ServerContext& ctx);

}  // namespace server
