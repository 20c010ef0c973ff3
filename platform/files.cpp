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

PathParts pathParts(const std::string& path) {
    PathParts parts;
    auto separator = [](char c) { return c == '/' || c == kPathSep; };
    size_t start = 0;
    if (kPathSep == '\\' && path.size() >= 2 && separator(path[0]) && separator(path[1])) {
        // \\server\share\ is one root.
        size_t server = path.find_first_of("/\\", 2);
        size_t share = server == std::string::npos ? server : path.find_first_of("/\\", server + 1);
        start = share == std::string::npos ? path.size() : share + 1;
        parts.root = path.substr(0, start);
    } else if (kPathSep == '\\' && path.size() >= 2 && path[1] == ':') {
        start = path.size() > 2 && separator(path[2]) ? 3 : 2;
        parts.root = path.substr(0, 2) + kPathSep;
    } else if (!path.empty() && separator(path[0])) {
        start = 1;
        parts.root = std::string(1, kPathSep);
    }
    std::string name;
    for (size_t i = start; i <= path.size(); ++i) {
        if (i == path.size() || separator(path[i])) {
            if (!name.empty() && name != ".") {
                parts.names.push_back(name);
            }
            name.clear();
        } else {
            name += path[i];
        }
    }
    return parts;
}

bool makeFolders(const std::string& path) {
    PathParts parts = pathParts(path);
    std::string folder = parts.root;
    for (const std::string& name : parts.names) {
        folder +=
            (folder.empty() || folder.back() == kPathSep ? "" : std::string(1, kPathSep)) + name;
        if (!fileExists(folder)) {
            makeFolder(folder);
        }
    }
    return !path.empty() && fileExists(path);
}

std::string readFileText(const std::string& path, std::size_t limit) {
    FileHandle file = openFileForReading(path);
    std::string text = file.isOpen() ? readAll(file, limit) : std::string();
    closeFile(file);
    return text;
}

bool writeFileText(const std::string& path, const std::string& bytes) {
    FileHandle file = openFileForAppend(path);
    bool written = file.isOpen() && truncateFile(file, 0) &&
                   appendToFile(file, bytes.data(), bytes.size()) == IoError::None;
    closeFile(file);
    return written;
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
