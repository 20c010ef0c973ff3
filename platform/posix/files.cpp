// Streamed files and volume sizes for the install engine.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"

namespace platform {
namespace {

int descriptorOf(FileHandle file) {
    return static_cast<int>(file.id);
}

}  // namespace

FileHandle openFileForAppend(const std::string& path) {
    FileHandle file;
    // O_APPEND keeps every write at the end even after a truncation, which is
    // what a resumed or restarted download needs.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        file.id = fd;
    }
    return file;
}

std::int64_t fileSize(FileHandle file) {
    if (!file.isOpen()) {
        return -1;
    }
    struct stat info {};
    if (::fstat(descriptorOf(file), &info) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(info.st_size);
}

bool appendToFile(FileHandle file, const void* data, std::size_t size) {
    if (!file.isOpen()) {
        return false;
    }
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = ::write(descriptorOf(file), bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool truncateFile(FileHandle file, std::int64_t size) {
    if (!file.isOpen() || size < 0) {
        return false;
    }
    return ::ftruncate(descriptorOf(file), static_cast<off_t>(size)) == 0;
}

void closeFile(FileHandle& file) {
    if (file.isOpen()) {
        ::close(descriptorOf(file));
        file.id = -1;
    }
}

bool removeFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0) {
        return true;
    }
    return errno == ENOENT;
}

std::optional<DiskSpace> diskSpace(const std::string& path) {
    struct statvfs info {};
    if (path.empty() || ::statvfs(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    DiskSpace space;
    space.totalBytes = static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize;
    space.freeBytes = static_cast<std::uint64_t>(info.f_bfree) * info.f_frsize;
    return space;
}

}  // namespace platform
