// The package archive route: GET and HEAD of kPackagePath with byte ranges
// and If-Range, streamed from the file in chunks, shaped by the package
// faults (--bandwidth, --drop-after, --ignore-range, --no-length); and its
// minisign signature at kSignaturePath.
//
// Contract: the handler runs on an httplib worker thread and only sets up the
// response; the body is read from the file while httplib sends it, one chunk
// at a time, so memory use does not grow with the package size.  The request
// line of a streamed response is logged when the response is finished.
//
// A Range header that httplib itself cannot parse ("bytes=5-3", "items=0-1")
// never reaches this route: httplib answers it with a bare 416 on any path.
#pragma once

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace server {

struct ServerContext;

// Precondition: httplib's own parsed ranges have been cleared (see faults.h),
// so that the range chosen here is the only one applied.
void handlePackage(const httplib::Request& req, httplib::Response& res, ServerContext& ctx);
// 404 when the backend was given no signature.
void handleSignature(httplib::Response& res, const ServerContext& ctx);

}  // namespace server
