// Byte-range decisions for the package route: which part of a file of a
// given size a Range header asks for.  Pure functions, no I/O.
#pragma once

#include <cstdint>
#include <string>

namespace server {

struct RangePlan {
    enum Kind { Whole, Partial, Unsatisfiable };
    Kind kind = Whole;
    std::uint64_t start = 0;
    std::uint64_t length = 0;  // bytes to send
};

// A single "bytes=N-", "bytes=N-M" or "bytes=-SUFFIX" range is honoured
// (206); a start at or past the end cannot be (416).  An absent, malformed or
// multi-part range yields the whole file (200), as HTTP allows a server to
// ignore a Range it does not serve.
RangePlan planRange(const std::string& rangeHeader, std::uint64_t total);

// "bytes START-END/TOTAL" for a partial reply, with "*" as TOTAL when the
// size is withheld.
std::string contentRangeHeader(const RangePlan& plan, std::uint64_t total, bool hideTotal);
// "bytes */TOTAL" for a 416 reply.
std::string unsatisfiedRangeHeader(std::uint64_t total);

// Whether a Range may be served under the request's If-Range (RFC 9110
// 13.1.5): true when there is none; for an entity tag, when it is strong and
// equals `etag`; for a date, when dates are strong and it equals
// `lastModified` exactly.  Empty validators match nothing.
bool ifRangeHolds(const std::string& ifRange, const std::string& etag,
                  const std::string& lastModified, bool dateIsStrong);

}  // namespace server
