// Desktop shortcuts as shell links, written through IShellLinkW and
// IPersistFile.  The link is saved under a fresh name of its own beside the
// destination and moved over it, so a file or link someone planted under the
// shortcut's name is replaced, never written through.
#include <windows.h>
// After windows.h, which they rely on.
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_text.h"

namespace platform {
namespace {

// COM for the calling thread, for as long as the object lives.  A thread that
// already runs COM in the other apartment model keeps it (and its
// uninitialisation).
class ComThread {
  public:
    ComThread() {
        HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        m_mustUninitialize = SUCCEEDED(result);
        m_usable = SUCCEEDED(result) || result == RPC_E_CHANGED_MODE;
    }
    ~ComThread() {
        if (m_mustUninitialize) {
            CoUninitialize();
        }
    }
    ComThread(const ComThread&) = delete;
    ComThread& operator=(const ComThread&) = delete;
    bool usable() const { return m_usable; }

  private:
    bool m_mustUninitialize = false;
    bool m_usable = false;
};

// One COM interface pointer, released when it goes out of scope.
template <typename Interface>
class ComRef {
  public:
    ComRef() = default;
    ~ComRef() {
        if (pointer != nullptr) {
            pointer->Release();
        }
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    void** out() { return reinterpret_cast<void**>(&pointer); }

    Interface* pointer = nullptr;
};

std::wstring folderOf(const std::wstring& target) {
    size_t last = target.find_last_of(L'\\');
    return last == std::wstring::npos ? target : target.substr(0, last);
}

// Creates each missing folder on the way to `folder`.
void makeFolders(const std::wstring& folder) {
    for (size_t at = folder.find(L'\\', 3); at != std::wstring::npos;
         at = folder.find(L'\\', at + 1)) {
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryW(folder.c_str(), nullptr);
}

// A new empty file beside `path` that nobody else can have prepared:
// CREATE_NEW fails on anything already there, a link included.
std::wstring createFreshBeside(const std::wstring& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring fresh = path + L".new-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(attempt);
        HANDLE handle = CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            return fresh;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return {};
        }
    }
    return {};
}

bool saveLink(const std::wstring& target, const std::wstring& displayName,
              const std::wstring& file) {
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> persist;
    return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, link.out())) &&
           SUCCEEDED(link.pointer->SetPath(target.c_str())) &&
           SUCCEEDED(link.pointer->SetWorkingDirectory(folderOf(target).c_str())) &&
           SUCCEEDED(link.pointer->SetDescription(displayName.c_str())) &&
           SUCCEEDED(link.pointer->QueryInterface(IID_IPersistFile, persist.out())) &&
           SUCCEEDED(persist.pointer->Save(file.c_str(), TRUE));
}

}  // namespace

std::string shortcutFileName(const std::string& displayName) {
    return displayName + ".lnk";
}

bool writeShortcut(const std::string& target, const std::string& displayName,
                   const std::string& linkPath) {
    if (linkPath.empty() || win32::hasNul(linkPath) || win32::hasNul(target) ||
        win32::hasNul(displayName)) {
        return false;
    }
    ComThread com;
    if (!com.usable()) {
        return false;
    }
    std::wstring link = win32::widePath(linkPath);
    makeFolders(folderOf(link));
    std::wstring fresh = createFreshBeside(link);
    if (fresh.empty()) {
        return false;
    }
    if (!saveLink(win32::widePath(target), win32::wide(displayName), fresh) ||
        !MoveFileExW(fresh.c_str(), link.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(fresh.c_str());
        return false;
    }
    return true;
}

}  // namespace platform
