// Streamed files and volume sizes for the install engine.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_files.h"

namespace platform {

IoError posix::ioErrorOf(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return IoError::DiskFull;
        case ETXTBSY:
        case EBUSY:
            return IoError::Busy;
        case EACCES:
        case EPERM:
        case EROFS:
            return IoError::Denied;
        case EXDEV:
            return IoError::OtherVolume;
        default:
            return IoError::Other;
    }
}

// Blocking again once it is known to be a regular file.
int posix::openRegularAt(int folder, const char* path, int flags) {
    int fd = ::openat(folder, path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

namespace {

using posix::ioErrorOf;

int descriptorOf(FileHandle file) {
    return static_cast<int>(file.id);
}

int openRegularFile(const std::string& path, int flags) {
    return posix::openRegularAt(AT_FDCWD, path.c_str(), flags);
}

FileHandle handleOf(int fd) {
    FileHandle file;
    if (fd >= 0) {
        file.id = fd;
    }
    return file;
}

}  // namespace

// O_APPEND keeps every write at the end even after a truncation, which is
// what a resumed or restarted download needs.
FileHandle openFileForAppend(const std::string& path) {
    return handleOf(openRegularFile(path, O_RDWR | O_CREAT | O_APPEND));
}

FileHandle createNewFile(const std::string& path) {
    return handleOf(openRegularFile(path, O_RDWR | O_CREAT | O_EXCL | O_APPEND));
}

FileHandle openFileForReading(const std::string& path) {
    return handleOf(openRegularFile(path, O_RDONLY));
}

std::int64_t readSome(FileHandle file, void* buffer, std::size_t size) {
    if (!file.isOpen()) {
        return -1;
    }
    for (;;) {
        ssize_t got = ::read(descriptorOf(file), buffer, size);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
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

IoError appendToFile(FileHandle file, const void* data, std::size_t size) {
    if (!file.isOpen()) {
        return IoError::Other;
    }
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = ::write(descriptorOf(file), bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return ioErrorOf(errno);
        }
        if (written == 0) {
            return IoError::DiskFull;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return IoError::None;
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

FileHandle lockFile(const std::string& path, bool& busy) {
    busy = false;
    FileHandle file;
    int fd = openRegularFile(path, O_RDWR | O_CREAT);
    if (fd < 0) {
        return file;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        busy = errno == EWOULDBLOCK;
        ::close(fd);
        return file;
    }
    file.id = fd;
    return file;
}

std::string makeFreshFolder(const std::string& parent, const std::string& prefix) {
    std::string pattern = parent + "/" + prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkdtemp makes the folder with mode 0700 and fails on anything already
    // there, so no other user can have planted it or its contents.
    return ::mkdtemp(name.data()) ? std::string(name.data()) : std::string();
}

bool pathFits(const std::string& path) {
    return path.size() < PATH_MAX;
}

IoError moveReplacing(const std::string& from, const std::string& to) {
    // rename replaces a file or a link at `to` itself, never its target.
    if (::rename(from.c_str(), to.c_str()) == 0) {
        return IoError::None;
    }
    return ioErrorOf(errno);
}

std::optional<DiskSpace> diskSpace(const std::string& path) {
    struct statvfs info {};
    if (path.empty() || ::statvfs(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    DiskSpace space;
    space.totalBytes = static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize;
    space.freeBytes = static_cast<std::uint64_t>(info.f_bfree) * info.f_frsize;
    space.freeFiles = info.f_files == 0 ? space.freeFiles : info.f_ffree;
    return space;
}

}  // namespace platform
