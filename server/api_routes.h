// The backend API: the three client queries (GET getInstallInfo,
// getApkChannel, getSize) and the operation-log store (POST saveLog).
//
// Contract: handlers run on httplib worker threads; they read the fixed
// options and the package file's size per request and write only to the
// event store, which serialises itself.  Query parameters are ignored.
#pragma once

namespace httplib {
class Server;
}

namespace server {

struct ServerContext;

void registerApiRoutes(httplib::Server& http, ServerContext& ctx);

}  // namespace server
