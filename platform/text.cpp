// UTF-8 <-> wchar_t.  wchar_t holds UTF-32 on Linux and UTF-16 on Windows;
// one implementation serves both so that archive entry names, shortcut paths
// and window texts convert the same way everywhere.
#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr bool kUtf16 = sizeof(wchar_t) == 2;

// Length of the UTF-8 sequence a lead byte starts, or 0 for a byte that
// cannot start one.
size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if ((lead >> 5) == 0x6) {
        return 2;
    }
    if ((lead >> 4) == 0xE) {
        return 3;
    }
    return (lead >> 3) == 0x1E ? 4 : 0;
}

// The code point of the sequence at text[i], or -1 when it is not valid UTF-8
// (truncated, overlong, a surrogate or beyond U+10FFFF).
long decodeAt(const std::string& text, size_t i, size_t length) {
    static const unsigned char leadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static const long smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (length == 0 || i + length > text.size()) {
        return -1;
    }
    long code = static_cast<unsigned char>(text[i]) & leadMask[length];
    for (size_t k = 1; k < length; ++k) {
        unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return -1;
        }
        code = (code << 6) | (next & 0x3F);
    }
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
        return -1;
    }
    return code;
}

void appendWide(std::wstring& wide, char32_t code) {
    if (kUtf16 && code >= 0x10000) {
        code -= 0x10000;
        wide.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
        wide.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
    } else {
        wide.push_back(static_cast<wchar_t>(code));
    }
}

// The code point at wide[i] and how many units it took; lone surrogates are
// replaced.
char32_t codeAt(const std::wstring& wide, size_t i, size_t& units) {
    auto unit = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(wide[i]));
    units = 1;
    if (kUtf16 && unit >= 0xD800 && unit < 0xDC00 && i + 1 < wide.size()) {
        auto low = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(wide[i + 1]));
        if (low >= 0xDC00 && low < 0xE000) {
            units = 2;
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    if (unit > 0x10FFFF || (unit >= 0xD800 && unit < 0xE000)) {
        return kReplacement;
    }
    return unit;
}

void appendUtf8(std::string& narrow, char32_t code) {
    if (code < 0x80) {
        narrow.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        narrow.push_back(static_cast<char>(0xC0 | (code >> 6)));
        narrow.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        narrow.push_back(static_cast<char>(0xE0 | (code >> 12)));
        narrow.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        narrow.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        narrow.push_back(static_cast<char>(0xF0 | (code >> 18)));
        narrow.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        narrow.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        narrow.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace

std::wstring toWide(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t length = sequenceLength(static_cast<unsigned char>(text[i]));
        long code = decodeAt(text, i, length);
        if (code < 0) {
            appendWide(wide, kReplacement);
            ++i;
        } else {
            appendWide(wide, static_cast<char32_t>(code));
            i += length;
        }
    }
    return wide;
}

std::string fromWide(const std::wstring& text) {
    std::string narrow;
    narrow.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t units = 1;
        appendUtf8(narrow, codeAt(text, i, units));
        i += units;
    }
    return narrow;
}

}  // namespace platform

namespace platform {

bool isUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        size_t length = sequenceLength(static_cast<unsigned char>(text[i]));
        if (decodeAt(text, i, length) < 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string singleLine(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string line;
    line.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else if (c == '\t') {
            line += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            line += "\\x";
            line += kHex[byte >> 4];
            line += kHex[byte & 0x0F];
        } else {
            line += c;
        }
    }
    return line;
}

std::string withoutControlBytes(const std::string& text) {
    std::string kept;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            kept += c;
        }
    }
    return kept;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The program takes the user's C locale for the UnRAR library's names, and
// a German one writes "1,50": the texts the program shows and sends do not
// change with it.
std::string formatNumber(const char* format, double value) {
    char buffer[64];
    int length = std::snprintf(buffer, sizeof buffer, format, value);
    std::string text(buffer, length > 0 ? std::min<size_t>(length, sizeof buffer - 1) : 0);
    const char* point = std::localeconv()->decimal_point;
    size_t at = point && *point ? text.find(point) : std::string::npos;
    if (at != std::string::npos && std::string(point) != ".") {
        text.replace(at, std::strlen(point), ".");
    }
    return text;
}

}  // namespace platform
