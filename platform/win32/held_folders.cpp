// Folders held open as handles.  A held folder is opened without delete
// sharing, so nobody can rename or remove it (or a folder above it) while it
// is held, and the paths below it stay what they were; every entry is
// reached with FILE_FLAG_OPEN_REPARSE_POINT, so a symbolic link or a junction
// is handled as itself, never as what it points to.
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

namespace platform {
namespace {

HANDLE handleOf(const FolderHandle& folder) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(folder.id));
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\:") == std::string::npos && !win32::hasNul(name);
}

std::string childPath(const FolderHandle& folder, const std::string& name) {
    bool root = !folder.path.empty() && (folder.path.back() == '\\' || folder.path.back() == '/');
    return root ? folder.path + name : folder.path + kPathSep + name;
}

bool isLinkAttribute(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           IsReparseTagNameSurrogate(reparseTag);
}

// A SID of this process's token: its user (TokenUser), or the owner new
// objects get (TokenOwner: the Administrators of an elevated program).
std::vector<BYTE> tokenSid(TOKEN_INFORMATION_CLASS kind) {
    std::vector<BYTE> sid;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return sid;
    }
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size > 0 && GetTokenInformation(token, kind, buffer.data(), size, &size)) {
        PSID found = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                       : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
        sid.assign(static_cast<BYTE*>(found), static_cast<BYTE*>(found) + GetLengthSid(found));
    }
    CloseHandle(token);
    return sid;
}

std::vector<BYTE> defaultOwner() {
    return tokenSid(TokenOwner);
}

std::string accountName(PSID sid) {
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use{};
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        return win32::utf8(std::wstring(domain) + L"\\" + name);
    }
    LPWSTR text = nullptr;
    std::string fallback = "an unknown account";
    if (ConvertSidToStringSidW(sid, &text)) {
        fallback = win32::utf8(text);
        LocalFree(text);
    }
    return fallback;
}

// Owner facts from a handle opened with READ_CONTROL.
void ownerOf(HANDLE handle, Entry& entry) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return;
    }
    // The user's own files count as ours: what other users placed does not.
    for (const std::vector<BYTE>& sid : {defaultOwner(), tokenSid(TokenUser)}) {
        entry.ours = entry.ours || (!sid.empty() && EqualSid(owner, const_cast<BYTE*>(sid.data())));
    }
    entry.systemOwned = IsWellKnownSid(owner, WinLocalSystemSid) ||
                        IsWellKnownSid(owner, WinBuiltinAdministratorsSid);
    entry.owner = accountName(owner);
    LocalFree(descriptor);
}

Entry entryAt(const std::string& path) {
    Entry entry;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(win32::longPath(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return entry;
    }
    FindClose(search);
    bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.type = isLinkAttribute(found.dwFileAttributes, found.dwReserved0) ? EntryType::Link
                 : folder                                                   ? EntryType::Folder
                                                                            : EntryType::File;
    HANDLE handle =
        CreateFileW(win32::longPath(path).c_str(), READ_CONTROL,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        ownerOf(handle, entry);
        CloseHandle(handle);
    }
    return entry;
}

std::vector<std::string> namesAt(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(win32::longPath(folder + kPathSep + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::string name = win32::utf8(found.cFileName);
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// A file, a link or a junction goes itself; a folder after all it holds.
bool removeAt(const std::string& path) {
    std::wstring wide = win32::longPath(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return win32::retryWhileBusy(path, [&] { return DeleteFileW(wide.c_str()); }) != 0;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        for (const std::string& name : namesAt(path)) {
            removeAt(path + kPathSep + name);
        }
    }
    return win32::retryWhileBusy(path, [&] { return RemoveDirectoryW(wide.c_str()); }) != 0;
}

// A folder only the system, the Administrators (who an elevated program
// is) and, for a program that is not elevated, its user may use.
std::unique_ptr<void, decltype(&LocalFree)> privateDescriptor() {
    std::wstring sddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    std::vector<BYTE> owner = defaultOwner();
    LPWSTR ownerText = nullptr;
    if (!owner.empty() && !IsWellKnownSid(owner.data(), WinBuiltinAdministratorsSid) &&
        ConvertSidToStringSidW(owner.data(), &ownerText)) {
        sddl += L"(A;OICI;FA;;;" + std::wstring(ownerText) + L")";
        LocalFree(ownerText);
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                         nullptr);
    return {descriptor, &LocalFree};
}

}  // namespace

FolderHandle openFolder(const std::string& path) {
    FolderHandle folder;
    if (path.empty() || win32::hasNul(path)) {
        return folder;
    }
    HANDLE handle = CreateFileW(win32::longPath(path).c_str(), FILE_LIST_DIRECTORY | READ_CONTROL,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return folder;
    }
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info) ||
        (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        isLinkAttribute(info.FileAttributes, info.ReparseTag)) {
        CloseHandle(handle);
        return folder;
    }
    folder.id = static_cast<long long>(reinterpret_cast<std::intptr_t>(handle));
    folder.path = path;
    return folder;
}

FolderHandle openSubFolder(const FolderHandle& folder, const std::string& name, bool create,
                           bool privateToUs) {
    if (!folder.isOpen() || !isPlainName(name)) {
        return {};
    }
    std::string path = childPath(folder, name);
    if (create) {
        auto descriptor = privateToUs
                              ? privateDescriptor()
                              : std::unique_ptr<void, decltype(&LocalFree)>(nullptr, &LocalFree);
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
        CreateDirectoryW(win32::longPath(path).c_str(), descriptor ? &attributes : nullptr);
    }
    return openFolder(path);
}

void closeFolder(FolderHandle& folder) {
    if (folder.isOpen()) {
        CloseHandle(handleOf(folder));
        folder.id = -1;
    }
}

Entry entryOf(const FolderHandle& folder) {
    Entry entry;
    if (folder.isOpen()) {
        entry.type = EntryType::Folder;
        ownerOf(handleOf(folder), entry);
    }
    return entry;
}

Entry entryIn(const FolderHandle& folder, const std::string& name) {
    return folder.isOpen() && isPlainName(name) ? entryAt(childPath(folder, name)) : Entry();
}

std::vector<std::string> entriesOf(const FolderHandle& folder) {
    return folder.isOpen() ? namesAt(folder.path) : std::vector<std::string>();
}

FileHandle openFileIn(const FolderHandle& folder, const std::string& name, bool create) {
    if (!folder.isOpen() || !isPlainName(name)) {
        return {};
    }
    return win32::handleToFile(
        win32::openNotFollowing(childPath(folder, name), create ? OPEN_ALWAYS : OPEN_EXISTING));
}

IoError moveEntry(const FolderHandle& from, const std::string& name, const FolderHandle& to,
                  const std::string& newName) {
    if (!from.isOpen() || !to.isOpen() || !isPlainName(name) || !isPlainName(newName)) {
        return IoError::Other;
    }
    // MoveFileExW moves a link or a junction itself and replaces a file or a
    // link at the target, never a folder.
    std::wstring source = win32::longPath(childPath(from, name));
    std::wstring target = win32::longPath(childPath(to, newName));
    if (win32::retryWhileBusy(childPath(from, name), [&] {
            return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
        })) {
        return IoError::None;
    }
    return win32::moveErrorOf(GetLastError(), source, target);
}

IoError copyFile(const FolderHandle& from, const std::string& name, const FolderHandle& to,
                 const std::string& newName) {
    if (!from.isOpen() || !to.isOpen() || !isPlainName(name) || !isPlainName(newName)) {
        return IoError::Other;
    }
    FileHandle source = win32::handleToFile(
        win32::openNotFollowing(childPath(from, name), OPEN_EXISTING, GENERIC_READ));
    FileHandle target =
        source.isOpen()
            ? win32::handleToFile(win32::openNotFollowing(childPath(to, newName), CREATE_NEW))
            : FileHandle();
    IoError result = target.isOpen() ? copyRemaining(source, target) : IoError::Other;
    closeFile(source);
    if (target.isOpen()) {
        closeFile(target);
        if (result != IoError::None) {
            DeleteFileW(win32::longPath(childPath(to, newName)).c_str());
        }
    }
    return result;
}

bool removeEntry(const FolderHandle& folder, const std::string& name) {
    return folder.isOpen() && isPlainName(name) && removeAt(childPath(folder, name));
}

bool tidyPermissions(const FolderHandle& folder, const std::string& name) {
    if (!folder.isOpen() || !isPlainName(name)) {
        return false;
    }
    std::wstring path = win32::longPath(childPath(folder, name));
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return true;
    }
    DWORD kept = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    return SetFileAttributesW(path.c_str(), kept == 0 ? FILE_ATTRIBUTE_NORMAL : kept) != 0;
}

bool isPrivatePath(const std::string&) {
    return true;
}

}  // namespace platform
