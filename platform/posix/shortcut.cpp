// Desktop shortcuts as freedesktop desktop entries.  The entry is written to
// a fresh file of its own beside the link and renamed over it, so a file or
// link someone planted under the entry's name is replaced, never written
// through.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

// The general escapes of a desktop-entry string value.
std::string escapeValue(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
        }
    }
    if (!escaped.empty() && escaped[0] == ' ') {
        escaped.replace(0, 1, "\\s");
    }
    return escaped;
}

// One Exec argument: double-quoted, with the characters that stay special
// inside quotes escaped and "%" doubled so it is no field code; the value
// escapes come on top of that.
std::string quoteExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
        if (c == '%') {
            quoted += '%';
        }
    }
    quoted += '"';
    return escapeValue(quoted);
}

// The target up to, not including, its last separator; the whole target
// when it has none.
std::string folderOf(const std::string& target) {
    size_t last = target.find_last_of(kPathSep);
    return last == std::string::npos ? target : target.substr(0, last);
}

std::string desktopEntryText(const std::string& target, const std::string& displayName) {
    return "[Desktop Entry]\nType=Application\nName=" + escapeValue(displayName) +
           "\nExec=" + quoteExecArgument(target) + "\nPath=" + escapeValue(folderOf(target)) + "\n";
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

// A new file beside `path` that nobody else can have prepared: O_EXCL fails
// on anything already there, a link included.
int createFreshBeside(const std::string& path, std::string& freshPath) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        freshPath = path + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        int fd =
            ::open(freshPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

}  // namespace

std::string shortcutFileName(const std::string& displayName) {
    return displayName + ".desktop";
}

bool writeShortcut(const std::string& target, const std::string& displayName,
                   const std::string& linkPath) {
    if (linkPath.empty()) {
        return false;
    }
    size_t slash = linkPath.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        makeFolders(linkPath.substr(0, slash));
    }
    std::string freshPath;
    int fd = createFreshBeside(linkPath, freshPath);
    if (fd < 0) {
        return false;
    }
    // Desktops run only entries marked executable.
    bool written = writeAll(fd, desktopEntryText(target, displayName)) && ::fchmod(fd, 0755) == 0;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(freshPath.c_str(), linkPath.c_str()) != 0) {
        ::unlink(freshPath.c_str());
        return false;
    }
    return true;
}

}  // namespace platform
