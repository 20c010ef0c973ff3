// Known folders on a freedesktop system: the XDG base directories stand in for
// the Windows shell folders.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

std::string envValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// XDG variables holding a relative path are invalid and must be ignored.
std::string absoluteEnvPath(const char* name) {
    std::string value = envValue(name);
    if (value.empty() || value[0] != '/') {
        return {};
    }
    while (value.size() > 1 && value.back() == '/') {
        value.pop_back();
    }
    return value;
}

std::string homeDir() {
    return absoluteEnvPath("HOME");
}

std::string xdgDir(const char* variable, const char* homeRelativeDefault) {
    std::string dir = absoluteEnvPath(variable);
    if (!dir.empty()) {
        return dir;
    }
    std::string home = homeDir();
    return home.empty() ? std::string() : home + "/" + homeRelativeDefault;
}

// The XDG_DESKTOP_DIR line of user-dirs.dirs, e.g. XDG_DESKTOP_DIR="$HOME/Desktop".
std::string desktopFromUserDirs(const std::string& configDir, const std::string& home) {
    std::ifstream in(configDir + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DESKTOP_DIR=";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0) {
            continue;
        }
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.compare(0, 5, "$HOME") == 0) {
            if (home.empty()) {
                return {};
            }
            value = home + value.substr(5);
        }
        while (value.size() > 1 && value.back() == '/') {
            value.pop_back();
        }
        return value.empty() || value[0] != '/' ? std::string() : value;
    }
    return {};
}

}  // namespace

std::string localAppDataDir() {
    return xdgDir("XDG_STATE_HOME", ".local/state");
}

std::string roamingAppDataDir() {
    return xdgDir("XDG_DATA_HOME", ".local/share");
}

std::string desktopDir() {
    std::string dir = absoluteEnvPath("XDG_DESKTOP_DIR");
    if (!dir.empty()) {
        return dir;
    }
    std::string home = homeDir();
    std::string configDir = xdgDir("XDG_CONFIG_HOME", ".config");
    if (!configDir.empty()) {
        dir = desktopFromUserDirs(configDir, home);
        if (!dir.empty()) {
            return dir;
        }
    }
    return home.empty() ? std::string() : home + "/Desktop";
}

std::string programFilePath() {
    std::string buffer(4096, '\0');
    ssize_t length = ::readlink("/proc/self/exe", &buffer[0], buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) {
        return {};
    }
    buffer.resize(static_cast<size_t>(length));
    return buffer;
}

std::string programDir() {
    std::string path = programFilePath();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool fileExists(const std::string& path) {
    return !path.empty() && ::access(path.c_str(), F_OK) == 0;
}

bool makeFolder(const std::string& path) {
    return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

std::string absolutePath(const std::string& path) {
    std::string whole = path;
    if (path.empty() || path[0] != '/') {
        std::vector<char> buffer(4096);
        if (::getcwd(buffer.data(), buffer.size()) == nullptr) {
            return path;
        }
        whole = std::string(buffer.data()) + "/" + path;
    }
    std::vector<std::string> names;
    for (const std::string& name : pathParts(whole).names) {
        if (name != "..") {
            names.push_back(name);
        } else if (!names.empty()) {
            names.pop_back();
        }
    }
    std::string normal;
    for (const std::string& name : names) {
        normal += "/" + name;
    }
    return normal.empty() ? "/" : normal;
}

}  // namespace platform
