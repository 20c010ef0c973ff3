// Known folders from the Windows shell, and the running program's own file.
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

namespace platform {
namespace {

// The folder as the shell reports it now, without creating it; a folder that
// does not exist (or whose registry entry is broken) is reported by the shell
// as a failure, and so here as unavailable.
std::string shellFolder(int csidl) {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
        return {};
    }
    std::wstring path(buffer);
    // "C:\" keeps its separator: without it the name means the drive's
    // current folder.
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) {
        path.pop_back();
    }
    return win32::utf8(path);
}

size_t lastSeparator(const std::string& path) {
    return path.find_last_of("\\/");
}

}  // namespace

std::string localAppDataDir() {
    return shellFolder(CSIDL_LOCAL_APPDATA);
}

std::string roamingAppDataDir() {
    return shellFolder(CSIDL_APPDATA);
}

std::string desktopDir() {
    return shellFolder(CSIDL_DESKTOPDIRECTORY);
}

std::string programFilePath() {
    // A path longer than MAX_PATH is cut to the buffer's size with the
    // length equal to it, so the buffer grows until the path fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD length = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return win32::utf8(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

std::string programDir() {
    std::string path = programFilePath();
    size_t separator = lastSeparator(path);
    if (separator == std::string::npos) {
        return {};
    }
    // The root of a drive keeps its separator ("C:\").
    return separator == 2 && path[1] == ':' ? path.substr(0, 3) : path.substr(0, separator);
}

bool fileExists(const std::string& path) {
    if (path.empty() || win32::hasNul(path)) {
        return false;
    }
    return GetFileAttributesW(win32::longPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool makeFolder(const std::string& path) {
    return !path.empty() && !win32::hasNul(path) &&
           CreateDirectoryW(win32::longPath(path).c_str(), nullptr) != 0;
}

// GetFullPathNameW resolves "." and ".." as written, as Windows itself does.
std::string absolutePath(const std::string& path) {
    if (path.empty() || win32::hasNul(path)) {
        return path;
    }
    std::wstring wide = win32::widePath(path);
    DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(length, L'\0');
    DWORD written = length == 0 ? 0 : GetFullPathNameW(wide.c_str(), length, &full[0], nullptr);
    if (written == 0 || written >= length) {
        return path;
    }
    full.resize(written);
    return win32::utf8(full);
}

}  // namespace platform
