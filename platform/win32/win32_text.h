// Internal to platform/win32/: where the program's UTF-8 text crosses into
// the wide (W) Windows functions and back.  Every conversion of the Windows
// layer goes through these, so a name reaches the system exactly as the
// program holds it whatever the machine's ANSI code page is.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform {
namespace win32 {

// UTF-8 to UTF-16 for a W function.  A string with an embedded NUL keeps it;
// callers that hand the result to a function taking a C string must treat
// such text as invalid (see hasNul).
inline std::wstring wide(const std::string& text) {
    return toWide(text);
}

inline std::string utf8(const wchar_t* text, size_t length) {
    return fromWide(std::wstring(text, length));
}

inline std::string utf8(const std::wstring& text) {
    return fromWide(text);
}

// A name with a NUL in it would be cut short by the C-string W functions and
// so name something else; such names are refused instead.
inline bool hasNul(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

// A path as the shell and explorer expect it: backslashes only.  The file
// functions accept either separator; explorer does not.
inline std::wstring widePath(const std::string& path) {
    std::wstring converted = toWide(path);
    for (wchar_t& c : converted) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return converted;
}

}  // namespace win32
}  // namespace platform
