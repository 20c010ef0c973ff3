// The Content-Range header of a package response and the verdict on it: a
// server (or anything between it and us) chooses these bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "install/response.h"

using namespace install;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first 8 bytes pick the resume offset and the status, the rest is the header.
    std::int64_t offset = 0;
    std::uint16_t statusBits = 0;
    if (size >= sizeof offset + sizeof statusBits) {
        std::memcpy(&offset, data, sizeof offset);
        std::memcpy(&statusBits, data + sizeof offset, sizeof statusBits);
        data += sizeof offset + sizeof statusBits;
        size -= sizeof offset + sizeof statusBits;
    }
    if (offset < 0) {
        offset = -(offset + 1);
    }
    std::string header(reinterpret_cast<const char*>(data), size);

    ContentRange range = parseContentRange(header);
    if (range.valid && range.first >= 0 &&
        (range.last < range.first ||
         (range.completeLength >= 0 && range.last >= range.completeLength))) {
        std::abort();
    }
    const long statuses[] = {200, 206, 416, 500, static_cast<long>(statusBits % 600)};
    for (long status : statuses) {
        ResponseVerdict verdict = judgeResponse(status, offset, header);
        if (verdict == ResponseVerdict::Append && status == 206 && range.first != offset) {
            std::abort();
        }
        if (verdict == ResponseVerdict::Complete && status != 416) {
            std::abort();
        }
    }
    return 0;
}
