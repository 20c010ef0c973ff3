// The backend's replies to the three client queries, and the size text made
// from a byte count: any reply body must map onto a defined outcome.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "backend/backend.h"

namespace {

// The size text is digits, a point, two digits and a unit, whatever came in.
bool isSizeText(const std::string& text) {
    if (text.size() < 6) {
        return false;
    }
    std::string unit = text.substr(text.size() - 2);
    return (unit == "MB" || unit == "GB") && text[text.size() - 5] == '.';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string reply(reinterpret_cast<const char*>(data), size);

    std::string sizeText = backend::sizeFromReply(reply);
    if (!sizeText.empty() && !isSizeText(sizeText)) {
        std::abort();
    }
    std::string channel = backend::channelFromReply(reply);
    if (reply.empty() != channel.empty()) {
        // Only an empty reply gives an empty channel; any other gives at least "guanwang".
        std::abort();
    }
    backend::installInfoFromReply(reply);

    std::string formatted = backend::formatSize(reply);
    if (!isSizeText(formatted)) {
        std::abort();
    }
    return 0;
}
