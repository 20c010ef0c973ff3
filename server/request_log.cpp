#include "server/request_log.h"

#include <httplib.h>

#include <iostream>
#include <mutex>

namespace server {

RequestSummary summarizeRequest(const httplib::Request& req) {
    RequestSummary summary;
    summary.method = req.method;
    summary.path = req.path;
    if (req.has_header("Range")) {
        summary.range = req.get_header_value("Range");
    }
    if (req.has_header("promoteid")) {
        summary.promoteid = req.get_header_value("promoteid");
    }
    return summary;
}

std::string formatRequestLine(const RequestSummary& summary) {
    // httplib leaves the path empty for a request line it could not parse.
    std::string line =
        summary.method + " " + (summary.path.empty() ? "(bad request line)" : summary.path);
    if (summary.range) {
        line += " range=" + *summary.range;
    }
    line += " status=" + std::to_string(summary.status);
    line += " sent=" + std::to_string(summary.bodyBytes);
    if (summary.promoteid) {
        line += " promoteid=" + *summary.promoteid;
    }
    return line;
}

void logRequest(const RequestSummary& summary) {
    static std::mutex mutex;
    std::string line = formatRequestLine(summary) + "\n";
    std::lock_guard<std::mutex> lock(mutex);
    std::cerr << line << std::flush;
}

}  // namespace server
