// Internal: reading attribute values of the layout file.  Malformed numbers
// read as 0, so a typo shows on screen instead of stopping the program, and
// numbers are held within what a screen coordinate can be, so that no layout
// sum can overflow.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include "duilib/UIDefine.h"

namespace DuiLib {
namespace attr {

constexpr long kLargestCoordinate = 32767;

inline int clampCoordinate(long value) {
    return static_cast<int>(value < -kLargestCoordinate  ? -kLargestCoordinate
                            : value > kLargestCoordinate ? kLargestCoordinate
                                                         : value);
}

inline int toInt(const char* text) {
    return clampCoordinate(std::strtol(text ? text : "0", nullptr, 10));
}

inline bool toBool(const char* text) {
    return text && std::strcmp(text, "true") == 0;
}

// "#AARRGGBB", "0xAARRGGBB" or "#RRGGBB" (opaque).
inline DWORD toColor(const char* text) {
    if (!text) {
        return 0;
    }
    if (*text == '#') {
        ++text;
    } else if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text += 2;
    }
    DWORD value = static_cast<DWORD>(std::strtoul(text, nullptr, 16));
    return std::strlen(text) <= 6 ? (0xFF000000u | value) : value;
}

// Up to four comma-separated integers; missing ones are 0.
inline void toInts(const char* text, int* out, int count) {
    const char* p = text ? text : "";
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        out[i] = clampCoordinate(std::strtol(p, &end, 10));
        p = (end && *end == ',') ? end + 1 : (end ? end : p);
    }
}

inline RECT toRect(const char* text) {
    int v[4];
    toInts(text, v, 4);
    return RECT{v[0], v[1], v[2], v[3]};
}

inline SIZE toSize(const char* text) {
    int v[2];
    toInts(text, v, 2);
    return SIZE{v[0], v[1]};
}

// A file the layout names (an image, or the layout itself): as given when
// absolute ("/x", "\\x" or "C:\x"), else inside `resourceFolder`.
inline std::string resourceFile(const std::string& name, const std::string& resourceFolder) {
    bool absolute =
        !name.empty() && (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'));
    return absolute ? name : resourceFolder + name;
}

}  // namespace attr
}  // namespace DuiLib
