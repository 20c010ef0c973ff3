// One line per request on standard error.  Thread-safe: lines never
// interleave.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace httplib {
struct Request;
}

namespace server {

struct RequestSummary {
    std::string method;
    std::string path;  // without the query
    std::optional<std::string> range;
    std::optional<std::string> promoteid;
    int status = 0;
    std::uint64_t bodyBytes = 0;
};

RequestSummary summarizeRequest(const httplib::Request& req);

// "GET /path range=bytes=0- status=206 sent=1234 promoteid=abc"; the range and
// promoteid fields appear only when the request carried them.
std::string formatRequestLine(const RequestSummary& summary);
void logRequest(const RequestSummary& summary);

}  // namespace server
