// The backend API: the three client queries (GET getInstallInfo,
// getApkChannel, getSize) and the operation-log store (POST saveLog), and the
// limits on request bodies.
//
// Contract: handlers run on httplib worker threads; they read the fixed
// options and package facts and the package file's size per request and
// write only to the event store, which serialises itself.  Query parameters
// are ignored.  An event is stored only when its body is JSON text of at most
// kEventBodyLimit bytes.
#pragma once

#include <cstddef>

namespace httplib {
class Server;
struct Request;
}  // namespace httplib

namespace server {

struct ServerContext;

constexpr std::size_t kEventBodyLimit = 64 * 1024;

// Decided from the request line and header fields, before any body is read:
// the status that refuses the request, or 0.  Only POSTs of events carry a
// body (413 for any other body or one declared beyond kEventBodyLimit, 411
// without a length, 415 for multipart forms); 400 for a malformed length.
int bodyRefusal(const httplib::Request& req);

void registerApiRoutes(httplib::Server& http, ServerContext& ctx);

}  // namespace server
