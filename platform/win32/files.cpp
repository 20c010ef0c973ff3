// Streamed files and volume sizes for the install engine, on file handles.
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

namespace platform {
namespace {

// Handle values are small non-negative numbers, so the handle itself is the
// id; INVALID_HANDLE_VALUE never becomes one.
HANDLE handleOf(FileHandle file) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(file.id));
}

// Writes go to the end: a download resumes by appending, also after a
// truncation.  The handle serves one thread at a time, so moving to the end
// and writing cannot be split by another writer of the same handle.
bool moveToEnd(HANDLE handle) {
    LARGE_INTEGER zero{};
    return SetFilePointerEx(handle, zero, nullptr, FILE_END) != 0;
}

// A folder, or a reparse point that names another file (a symbolic link, a
// junction).  Other reparse points, such as synced cloud files or
// deduplicated ones, hold their own data and are files like any other.
bool isFolderOrLink(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info)) {
        return true;
    }
    if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return true;
    }
    return (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           IsReparseTagNameSurrogate(info.ReparseTag);
}

// Six characters for a fresh name, from the system's random source.
std::string randomSuffix() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::array<std::uint8_t, 16> random = newGuidBytes();
    std::string suffix;
    for (int i = 0; i < 6; ++i) {
        suffix += kLetters[random[i] % 36];
    }
    return suffix;
}

// The folder GetDiskFreeSpaceExW needs: the path itself, or the folder of a file.
std::wstring volumeQueryFolder(const std::string& path) {
    std::wstring wide = win32::longPath(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return {};
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        size_t separator = wide.find_last_of(L'\\');
        wide = separator == std::wstring::npos ? std::wstring(L".") : wide.substr(0, separator + 1);
    }
    if (wide.back() != L'\\') {
        wide += L'\\';
    }
    return wide;
}

}  // namespace

IoError win32::ioErrorOf(DWORD error) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_FILE_TOO_LARGE:
            return IoError::DiskFull;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            return IoError::Busy;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return IoError::Denied;
        case ERROR_NOT_SAME_DEVICE:
            return IoError::OtherVolume;
        default:
            return IoError::Other;
    }
}

std::wstring win32::longPath(const std::string& path) {
    std::wstring wide = win32::widePath(path);
    if (wide.rfind(L"\\\\?\\", 0) == 0 || wide.empty()) {
        return wide;
    }
    std::wstring full(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD length =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (length == 0) {
            return wide;
        }
        bool fits = length < full.size();
        full.resize(fits ? length : length + 1);
        if (fits) {
            break;
        }
    }
    if (full.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return full.size() >= 2 && full[1] == L':' ? L"\\\\?\\" + full : full;
}

bool win32::isBusyError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_LOCK_VIOLATION;
}

namespace {

bool heldWithoutDeleteSharing(const std::wstring& path) {
    HANDLE handle = CreateFileW(
        path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace

IoError win32::moveErrorOf(DWORD error, const std::wstring& from, const std::wstring& to) {
    if (error == ERROR_ACCESS_DENIED &&
        (heldWithoutDeleteSharing(from) || heldWithoutDeleteSharing(to))) {
        return IoError::Busy;
    }
    return ioErrorOf(error);
}

// Short waits first (a scanner is usually done within a few hundred
// milliseconds), then a quarter of a second at a time.
void win32::waitWhileBusy(const std::string& path, DWORD& waited) {
    if (waited == 0) {
        debugLog("in use by another program, trying again for up to " +
                 std::to_string(kBusyWaitMs / 1000) + " s: " + singleLine(path));
    }
    DWORD pause = waited < 200 ? 25 : 250;
    Sleep(pause);
    waited += pause;
}

FileHandle win32::handleToFile(HANDLE handle) {
    FileHandle file;
    if (handle != INVALID_HANDLE_VALUE) {
        file.id = static_cast<long long>(reinterpret_cast<std::intptr_t>(handle));
    }
    return file;
}

// Opens the file itself, never what a link (a symbolic link or junction) at
// `path` points to: the link is opened as such and then refused, as is
// anything but a file on a disk (a device name such as NUL or CON, a pipe).
// Shared for reading, writing and deletion, so that others may read a
// download while it grows and delete it as on POSIX; not inherited by child
// processes.
HANDLE win32::openNotFollowing(const std::string& path, DWORD disposition, DWORD access) {
    if (path.empty() || win32::hasNul(path)) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle =
        CreateFileW(win32::longPath(path).c_str(), access,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE &&
        (GetFileType(handle) != FILE_TYPE_DISK || isFolderOrLink(handle))) {
        CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

FileHandle openFileForAppend(const std::string& path) {
    return win32::handleToFile(win32::openNotFollowing(path, OPEN_ALWAYS));
}

FileHandle createNewFile(const std::string& path) {
    return win32::handleToFile(win32::openNotFollowing(path, CREATE_NEW));
}

FileHandle openFileForReading(const std::string& path) {
    return win32::handleToFile(win32::openNotFollowing(path, OPEN_EXISTING, GENERIC_READ));
}

std::int64_t readSome(FileHandle file, void* buffer, std::size_t size) {
    DWORD got = 0;
    DWORD asked = static_cast<DWORD>(size > 0x40000000u ? 0x40000000u : size);
    if (!file.isOpen() || !ReadFile(handleOf(file), buffer, asked, &got, nullptr)) {
        return -1;
    }
    return got;
}

std::int64_t fileSize(FileHandle file) {
    LARGE_INTEGER size{};
    if (!file.isOpen() || !GetFileSizeEx(handleOf(file), &size)) {
        return -1;
    }
    return size.QuadPart;
}

IoError appendToFile(FileHandle file, const void* data, std::size_t size) {
    if (!file.isOpen()) {
        return IoError::Other;
    }
    if (!moveToEnd(handleOf(file))) {
        return win32::ioErrorOf(GetLastError());
    }
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handleOf(file), bytes, chunk, &written, nullptr)) {
            return win32::ioErrorOf(GetLastError());
        }
        if (written == 0) {
            return IoError::DiskFull;
        }
        bytes += written;
        size -= written;
    }
    return IoError::None;
}

bool truncateFile(FileHandle file, std::int64_t size) {
    if (!file.isOpen() || size < 0) {
        return false;
    }
    LARGE_INTEGER position{};
    position.QuadPart = size;
    return SetFilePointerEx(handleOf(file), position, nullptr, FILE_BEGIN) &&
           SetEndOfFile(handleOf(file));
}

void closeFile(FileHandle& file) {
    if (file.isOpen()) {
        CloseHandle(handleOf(file));
        file.id = -1;
    }
}

bool removeFile(const std::string& path) {
    if (path.empty() || win32::hasNul(path)) {
        return false;
    }
    std::wstring file = win32::longPath(path);
    if (win32::retryWhileBusy(path, [&] { return DeleteFileW(file.c_str()); })) {
        return true;
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The lock is a byte-range lock on the whole file, which another process's
// attempt meets as ERROR_LOCK_VIOLATION; it goes with the handle.
FileHandle lockFile(const std::string& path, bool& busy) {
    busy = false;
    HANDLE handle = win32::openNotFollowing(path, OPEN_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) {
        return FileHandle();
    }
    OVERLAPPED whole{};
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                    MAXDWORD, &whole)) {
        busy = GetLastError() == ERROR_LOCK_VIOLATION;
        CloseHandle(handle);
        return FileHandle();
    }
    return win32::handleToFile(handle);
}

// CreateDirectoryW fails on anything already there, so a folder it makes is
// new; it inherits the parent's permissions.
std::string makeFreshFolder(const std::string& parent, const std::string& prefix) {
    if (parent.empty() || win32::hasNul(parent) || win32::hasNul(prefix)) {
        return {};
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string folder = parent + kPathSep + prefix + randomSuffix();
        if (CreateDirectoryW(win32::longPath(folder).c_str(), nullptr)) {
            return folder;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return {};
        }
    }
    return {};
}

// MoveFileExW replaces a file or a link at `to` itself and refuses a folder
// there.
bool pathFits(const std::string& path) {
    return !path.empty() && !win32::hasNul(path) && win32::longPath(path).size() < 32767;
}

IoError moveReplacing(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty() || win32::hasNul(from) || win32::hasNul(to)) {
        return IoError::Other;
    }
    std::wstring source = win32::longPath(from);
    std::wstring target = win32::longPath(to);
    if (win32::retryWhileBusy(from, [&] {
            return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
        })) {
        return IoError::None;
    }
    return win32::moveErrorOf(GetLastError(), source, target);
}

std::optional<DiskSpace> diskSpace(const std::string& path) {
    if (path.empty() || win32::hasNul(path)) {
        return std::nullopt;
    }
    std::wstring folder = volumeQueryFolder(path);
    ULARGE_INTEGER availableToCaller{}, total{}, totalFree{};
    if (folder.empty() ||
        !GetDiskFreeSpaceExW(folder.c_str(), &availableToCaller, &total, &totalFree)) {
        return std::nullopt;
    }
    DiskSpace space;
    space.totalBytes = total.QuadPart;
    space.freeBytes = totalFree.QuadPart;
    return space;
}

}  // namespace platform
