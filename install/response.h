// Judging an HTTP response to a package request that resumes at a given
// offset: its status and its Content-Range decide whether the body continues
// the archive, restarts it, finishes it, or must not be written at all.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace install {

// `text` without the blanks and line ends around it (header values arrive
// with their CR LF).
std::string trimmed(const std::string& text);

// A Content-Range header value: "bytes 100-199/1000" or "bytes */1000".
// Fields the value does not give are -1; valid is false for anything else.
struct ContentRange {
    bool valid = false;
    std::int64_t first = -1;
    std::int64_t last = -1;
    std::int64_t completeLength = -1;
};
ContentRange parseContentRange(const std::string& value);

enum class ResponseVerdict {
    Append,    // the body continues the file at its end
    Restart,   // the whole file came back: empty the file, then write the body
    Complete,  // the file already holds the whole package
    Reject,    // an error status or a range that does not fit: write nothing
};
ResponseVerdict judgeResponse(long status, std::int64_t offset, const std::string& contentRange);

// Statuses that another attempt will not change (the address is wrong or
// refused); everything else, 408, 429 and 5xx among them, may heal.
bool isLastingStatus(long status);

}  // namespace install
