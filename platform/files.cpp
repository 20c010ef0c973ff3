// File calls the same on every system, built on each system's own.
#include <string>
#include <vector>

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

IoError copyRemaining(FileHandle from, FileHandle to) {
    std::vector<char> chunk(1 << 20);
    std::int64_t got = 0;
    IoError result = IoError::None;
    while (result == IoError::None && (got = readSome(from, chunk.data(), chunk.size())) > 0) {
        result = appendToFile(to, chunk.data(), static_cast<std::size_t>(got));
    }
    return result == IoError::None && got < 0 ? IoError::Other : result;
}

}  // namespace platform
