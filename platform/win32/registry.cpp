// The real registry: string values (REG_SZ) under HKEY_LOCAL_MACHINE through
// the wide functions.  Each call opens the key, uses it and closes it, as the
// SQLite store of the POSIX layer does with its file; the registry itself
// makes each value write atomic and serves several processes at once.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_text.h"

namespace platform {
namespace {

// An open key, closed when it goes out of scope.
class OpenKey {
  public:
    OpenKey() = default;
    ~OpenKey() {
        if (handle != nullptr) {
            RegCloseKey(handle);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    HKEY handle = nullptr;
};

bool usableNames(const std::string& key, const std::string& name) {
    return !key.empty() && !win32::hasNul(key) && !win32::hasNul(name);
}

// The value's bytes as stored, or nullopt.  The size is asked first; a value
// that grows between the two calls is read again.
std::optional<std::vector<BYTE>> queryValueBytes(HKEY key, const std::wstring& name, DWORD& type) {
    std::vector<BYTE> bytes;
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = 0;
        LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS) {
            return std::nullopt;
        }
        bytes.resize(size);
        status = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                  bytes.empty() ? nullptr : bytes.data(), &size);
        if (status == ERROR_SUCCESS) {
            bytes.resize(size);
            return bytes;
        }
        if (status != ERROR_MORE_DATA) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// UTF-16 text of a string value: whole, embedded NULs included, without the
// one terminating NUL that RegSetValueExW stores with it.  A value written
// without a terminator (by another program) is taken as it is.
std::wstring textOfValue(const std::vector<BYTE>& bytes) {
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) {
        std::memcpy(&text[0], bytes.data(), text.size() * sizeof(wchar_t));
    }
    if (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::string registryStorePath() {
    return "HKEY_LOCAL_MACHINE";
}

// Only string values are read (REG_SZ, and REG_EXPAND_SZ without expansion);
// a value of another type is reported as missing.
std::optional<std::string> registryRead(const std::string& key, const std::string& name) {
    if (!usableNames(key, name)) {
        return std::nullopt;
    }
    OpenKey opened;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, win32::wide(key).c_str(), 0, KEY_QUERY_VALUE,
                      &opened.handle) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = REG_NONE;
    std::optional<std::vector<BYTE>> bytes =
        queryValueBytes(opened.handle, win32::wide(name), type);
    if (!bytes || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    return win32::utf8(textOfValue(*bytes));
}

bool registryWrite(const std::string& key, const std::string& name, const std::string& data) {
    if (!usableNames(key, name)) {
        return false;
    }
    OpenKey created;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, win32::wide(key).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &created.handle,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    // Stored with its terminating NUL, as string values are meant to be, so
    // other readers see a proper string; an empty value is that NUL alone.
    std::wstring text = win32::wide(data);
    DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(created.handle, win32::wide(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()), size) == ERROR_SUCCESS;
}

bool registryDelete(const std::string& key, const std::string& name) {
    if (!usableNames(key, name)) {
        return false;
    }
    OpenKey opened;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, win32::wide(key).c_str(), 0, KEY_SET_VALUE,
                      &opened.handle) != ERROR_SUCCESS) {
        return false;
    }
    return RegDeleteValueW(opened.handle, win32::wide(name).c_str()) == ERROR_SUCCESS;
}

}  // namespace platform
