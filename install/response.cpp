#include "install/response.h"

#include <cctype>

namespace install {
namespace {

bool parseNumber(const std::string& text, std::int64_t& number) {
    if (text.empty() || text.size() > 18) {
        return false;
    }
    number = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        number = number * 10 + (c - '0');
    }
    return true;
}

}  // namespace

std::string trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return {};
    }
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

ContentRange parseContentRange(const std::string& value) {
    ContentRange range;
    std::string text = trimmed(value);
    const std::string unit = "bytes ";
    size_t slash = text.find('/');
    if (text.compare(0, unit.size(), unit) != 0 || slash == std::string::npos) {
        return range;
    }
    std::string span = trimmed(text.substr(unit.size(), slash - unit.size()));
    std::string length = text.substr(slash + 1);
    if (length != "*" && !parseNumber(length, range.completeLength)) {
        return range;
    }
    if (span == "*") {
        range.valid = range.completeLength >= 0;
        return range;
    }
    size_t dash = span.find('-');
    if (dash == std::string::npos || !parseNumber(span.substr(0, dash), range.first) ||
        !parseNumber(span.substr(dash + 1), range.last) || range.last < range.first) {
        return ContentRange{};
    }
    range.valid = range.completeLength < 0 || range.last < range.completeLength;
    if (!range.valid) {
        return ContentRange{};
    }
    return range;
}

ResponseVerdict judgeResponse(long status, std::int64_t offset, const std::string& contentRange) {
    ContentRange range = parseContentRange(contentRange);
    switch (status) {
        case 200:
            // Some servers and proxies answer a honoured range with 200; its
            // Content-Range says the body continues the file (libcurl takes
            // it that way too).  Without one, the whole file came again.
            if (offset == 0 || (range.valid && range.first == offset)) {
                return ResponseVerdict::Append;
            }
            return ResponseVerdict::Restart;
        case 206:
            return range.valid && range.first == offset ? ResponseVerdict::Append
                                                        : ResponseVerdict::Reject;
        case 416:
            // Asking beyond the end of a file that is already whole.
            return offset > 0 && range.valid && range.first < 0 && range.completeLength == offset
                       ? ResponseVerdict::Complete
                       : ResponseVerdict::Reject;
        default:
            return ResponseVerdict::Reject;
    }
}

bool isLastingStatus(long status) {
    switch (status) {
        case 400:
        case 401:
        case 403:
        case 404:
        case 410:
            return true;
        default:
            return false;
    }
}

}  // namespace install
