// File calls the same on every system, built on each system's own.
#include <string>

#include "platform/platform.h"

namespace platform {

std::string readAll(FileHandle file, std::size_t limit) {
    std::string text;
    char chunk[4096];
    std::int64_t got = 0;
    while (text.size() < limit && (got = readSome(file, chunk, sizeof chunk)) > 0) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text.substr(0, limit);
}

}  // namespace platform
