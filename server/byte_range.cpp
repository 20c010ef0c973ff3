#include "server/byte_range.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace server {
namespace {

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

// An empty text is "absent" (true, present = false); otherwise digits only.
bool parseOptionalNumber(const std::string& text, std::uint64_t& value, bool& present) {
    present = !text.empty();
    if (!present) {
        return true;
    }
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

bool startsWithBytesUnit(const std::string& text) {
    if (text.size() < 6) {
        return false;
    }
    std::string unit = text.substr(0, 6);
    std::transform(unit.begin(), unit.end(), unit.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return unit == "bytes=";
}

RangePlan suffixPlan(std::uint64_t suffix, std::uint64_t total) {
    RangePlan plan;
    if (suffix == 0 || total == 0) {
        plan.kind = RangePlan::Unsatisfiable;
        return plan;
    }
    plan.kind = RangePlan::Partial;
    plan.length = std::min(suffix, total);
    plan.start = total - plan.length;
    return plan;
}

}  // namespace

RangePlan planRange(const std::string& rangeHeader, std::uint64_t total) {
    RangePlan whole;
    whole.length = total;
    std::string header = trim(rangeHeader);
    if (!startsWithBytesUnit(header)) {
        return whole;
    }
    std::string spec = trim(header.substr(6));
    size_t dash = spec.find('-');
    if (spec.find(',') != std::string::npos || dash == std::string::npos) {
        return whole;
    }
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    bool hasFirst = false;
    bool hasLast = false;
    if (!parseOptionalNumber(trim(spec.substr(0, dash)), first, hasFirst) ||
        !parseOptionalNumber(trim(spec.substr(dash + 1)), last, hasLast) ||
        (!hasFirst && !hasLast) || (hasFirst && hasLast && last < first)) {
        return whole;
    }
    if (!hasFirst) {
        return suffixPlan(last, total);
    }
    RangePlan plan;
    if (first >= total) {
        plan.kind = RangePlan::Unsatisfiable;
        return plan;
    }
    std::uint64_t end = hasLast ? std::min(last, total - 1) : total - 1;
    plan.kind = RangePlan::Partial;
    plan.start = first;
    plan.length = end - first + 1;
    return plan;
}

std::string contentRangeHeader(const RangePlan& plan, std::uint64_t total, bool hideTotal) {
    return "bytes " + std::to_string(plan.start) + "-" +
           std::to_string(plan.start + plan.length - 1) + "/" +
           (hideTotal ? std::string("*") : std::to_string(total));
}

std::string unsatisfiedRangeHeader(std::uint64_t total) {
    return "bytes */" + std::to_string(total);
}

bool ifRangeHolds(const std::string& ifRange, const std::string& etag,
                  const std::string& lastModified, bool dateIsStrong) {
    std::string validator = trim(ifRange);
    if (validator.empty()) {
        return true;
    }
    // A weak tag ("W/...") never validates a range.
    if (validator[0] == '"' || validator.rfind("W/", 0) == 0) {
        return !etag.empty() && validator == etag;
    }
    return dateIsStrong && !lastModified.empty() && validator == lastModified;
}

}  // namespace server
