// Folders held open as descriptors: every call works relative to a folder's
// descriptor with the *at functions and never follows a link.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_files.h"

namespace platform {
namespace {

using posix::ioErrorOf;

int fdOf(const FolderHandle& folder) {
    return static_cast<int>(folder.id);
}

std::string ownerName(uid_t uid) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        return std::string(found->pw_name) + " (uid " + std::to_string(uid) + ")";
    }
    return "uid " + std::to_string(uid);
}

Entry entryFrom(const struct stat& info) {
    Entry entry;
    entry.type = S_ISREG(info.st_mode)   ? EntryType::File
                 : S_ISDIR(info.st_mode) ? EntryType::Folder
                 : S_ISLNK(info.st_mode) ? EntryType::Link
                                         : EntryType::Other;
    entry.ours = info.st_uid == ::geteuid();
    bool sticky = S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0;
    entry.othersMayChange = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !sticky;
    entry.executable = (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
    entry.systemOwned = info.st_uid == 0;
    entry.owner = ownerName(info.st_uid);
    return entry;
}

FolderHandle folderOf(int fd, std::string path) {
    FolderHandle folder;
    if (fd >= 0) {
        folder.id = fd;
        folder.path = std::move(path);
    }
    return folder;
}

// A single name below a folder: no separator, not "." or "..".
bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

bool removeFolderContents(int fd);

// Removes one entry of the folder `fd`: a folder's contents first, through
// descriptors opened without following links.
bool removeAt(int fd, const std::string& name) {
    struct stat info {};
    if (::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISDIR(info.st_mode)) {
        return ::unlinkat(fd, name.c_str(), 0) == 0 || errno == ENOENT;
    }
    int inner = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    bool emptied = inner >= 0 && removeFolderContents(inner);
    if (inner >= 0) {
        ::close(inner);
    }
    return emptied && (::unlinkat(fd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT);
}

std::vector<std::string> namesIn(int fd) {
    std::vector<std::string> names;
    int listing = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (dir == nullptr) {
        if (listing >= 0) {
            ::close(listing);
        }
        return names;
    }
    while (struct dirent* item = ::readdir(dir)) {
        std::string name = item->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

bool removeFolderContents(int fd) {
    bool all = true;
    for (const std::string& name : namesIn(fd)) {
        all = removeAt(fd, name) && all;
    }
    return all;
}

}  // namespace

FolderHandle openFolder(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return folderOf(fd, path);
}

FolderHandle openSubFolder(const FolderHandle& folder, const std::string& name, bool create,
                           bool privateToUs) {
    if (!folder.isOpen() || !isPlainName(name)) {
        return {};
    }
    if (create && ::mkdirat(fdOf(folder), name.c_str(), privateToUs ? 0700 : 0755) != 0 &&
        errno != EEXIST) {
        return {};
    }
    int fd = ::openat(fdOf(folder), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return folderOf(fd, folder.path == "/" ? "/" + name : folder.path + "/" + name);
}

void closeFolder(FolderHandle& folder) {
    if (folder.isOpen()) {
        ::close(fdOf(folder));
        folder.id = -1;
    }
}

Entry entryOf(const FolderHandle& folder) {
    struct stat info {};
    if (!folder.isOpen() || ::fstat(fdOf(folder), &info) != 0) {
        return {};
    }
    return entryFrom(info);
}

Entry entryIn(const FolderHandle& folder, const std::string& name) {
    struct stat info {};
    if (!folder.isOpen() || !isPlainName(name) ||
        ::fstatat(fdOf(folder), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return {};
    }
    return entryFrom(info);
}

std::vector<std::string> entriesOf(const FolderHandle& folder) {
    return folder.isOpen() ? namesIn(fdOf(folder)) : std::vector<std::string>();
}

FileHandle openFileIn(const FolderHandle& folder, const std::string& name, bool create) {
    FileHandle file;
    if (!folder.isOpen() || !isPlainName(name)) {
        return file;
    }
    int fd = posix::openRegularAt(fdOf(folder), name.c_str(),
                                  O_RDWR | O_APPEND | (create ? O_CREAT : 0));
    if (fd >= 0) {
        file.id = fd;
    }
    return file;
}

IoError moveEntry(const FolderHandle& from, const std::string& name, const FolderHandle& to,
                  const std::string& newName) {
    if (!from.isOpen() || !to.isOpen() || !isPlainName(name) || !isPlainName(newName)) {
        return IoError::Other;
    }
    if (::renameat(fdOf(from), name.c_str(), fdOf(to), newName.c_str()) == 0) {
        return IoError::None;
    }
    return ioErrorOf(errno);
}

IoError copyFile(const FolderHandle& from, const std::string& name, const FolderHandle& to,
                 const std::string& newName) {
    if (!from.isOpen() || !to.isOpen() || !isPlainName(name) || !isPlainName(newName)) {
        return IoError::Other;
    }
    std::vector<char> linkTarget(4096);
    ssize_t length =
        ::readlinkat(fdOf(from), name.c_str(), linkTarget.data(), linkTarget.size() - 1);
    if (length >= 0) {
        linkTarget[static_cast<size_t>(length)] = '\0';
        return ::symlinkat(linkTarget.data(), fdOf(to), newName.c_str()) == 0 ? IoError::None
                                                                              : ioErrorOf(errno);
    }
    FileHandle source;
    source.id = posix::openRegularAt(fdOf(from), name.c_str(), O_RDONLY);
    struct stat info {};
    if (!source.isOpen() || ::fstat(static_cast<int>(source.id), &info) != 0) {
        closeFile(source);
        return IoError::Other;
    }
    FileHandle target;
    target.id = ::openat(fdOf(to), newName.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, info.st_mode & 0777);
    IoError result = target.isOpen() ? copyRemaining(source, target) : ioErrorOf(errno);
    closeFile(source);
    if (target.isOpen()) {
        closeFile(target);
        if (result != IoError::None) {
            ::unlinkat(fdOf(to), newName.c_str(), 0);
        }
    }
    return result;
}

bool removeEntry(const FolderHandle& folder, const std::string& name) {
    return folder.isOpen() && isPlainName(name) && removeAt(fdOf(folder), name);
}

bool tidyPermissions(const FolderHandle& folder, const std::string& name) {
    struct stat info {};
    if (!folder.isOpen() || !isPlainName(name) ||
        ::fstatat(fdOf(folder), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        return true;
    }
    bool executable = S_ISDIR(info.st_mode) || (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
    // Through a descriptor of the entry itself: a name swapped for a link
    // meanwhile is not opened.
    int fd = ::openat(fdOf(folder), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    bool done = fd >= 0 && ::fchmod(fd, executable ? 0755 : 0644) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return done;
}

bool isPrivatePath(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        return false;
    }
    // From the root down: each folder must be ours or the system's, and only
    // they may change it (a sticky folder lets others change their own
    // entries only, so the next one down must then be ours or the system's).
    FolderHandle folder = openFolder("/");
    bool safe = folder.isOpen();
    size_t start = 1;
    while (safe && start < path.size()) {
        size_t end = path.find('/', start);
        std::string name =
            path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? path.size() : end + 1;
        if (name.empty()) {
            continue;
        }
        Entry entry = entryIn(folder, name);
        struct stat info {};
        safe = entry.type == EntryType::Folder && !entry.othersMayChange &&
               ::fstatat(fdOf(folder), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
               (info.st_uid == ::geteuid() || info.st_uid == 0);
        FolderHandle next = safe ? openSubFolder(folder, name, false, false) : FolderHandle();
        closeFolder(folder);
        folder = next;
        safe = safe && folder.isOpen();
    }
    closeFolder(folder);
    return safe;
}

}  // namespace platform
