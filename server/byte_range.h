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

}  // namespace server
