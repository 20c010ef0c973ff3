// After extraction: the entries of the list of installed programs and the
// desktop shortcut (a freedesktop desktop entry).
#include <filesystem>
#include <fstream>
#include <system_error>

#include "install/install.h"

const char* const kUninstallRegistryKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvmZorozAvuzado";
const char* const kShortcutFileName = "hobnar语音文字转换器.desktop";

namespace {

const char* const kDisplayName = "hobnar语音文字转换器";
const char* const kShellFoldersKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

}  // namespace

void writeUninstallEntries(InstallerContext& context) {
    const std::string productFolder = context.installDir;
    const std::string mainExecutable = mainExecutableIn(productFolder);
    const std::string uninstaller = productFolder + platform::kPathSep + "unInstall.exe";
    writeRegistryString(kUninstallRegistryKey, "NoModify", "1");
    writeRegistryString(kUninstallRegistryKey, "DisplayIcon", mainExecutable);
    writeRegistryString(kUninstallRegistryKey, "DisplayName", kDisplayName);
    writeRegistryString(kUninstallRegistryKey, "DisplayVersion", context.version);
    writeRegistryString(kUninstallRegistryKey, "InstallLocation", productFolder);
    writeRegistryString(kUninstallRegistryKey, "UninstallString", uninstaller);
    writeRegistryString(context.registryKeyPath, "DisplayPath", mainExecutable);
}

namespace {

// Length of the UTF-8 sequence a lead byte starts, or 0 for a byte that
// cannot start one.
size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if ((lead >> 5) == 0x6) {
        return 2;
    }
    if ((lead >> 4) == 0xE) {
        return 3;
    }
    if ((lead >> 3) == 0x1E) {
        return 4;
    }
    return 0;
}

// The code point of the sequence at text[i], or -1 when it is not valid UTF-8
// (truncated, overlong, a surrogate or beyond U+10FFFF).
long decodeUtf8At(const std::string& text, size_t i, size_t length) {
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

}  // namespace

std::wstring toWide(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t length = utf8SequenceLength(static_cast<unsigned char>(text[i]));
        long code = decodeUtf8At(text, i, length);
        if (code < 0) {
            wide.push_back(static_cast<wchar_t>(0xFFFD));
            ++i;
        } else {
            wide.push_back(static_cast<wchar_t>(code));
            i += length;
        }
    }
    return wide;
}

std::string fromWide(const std::wstring& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (wchar_t w : text) {
        auto code = static_cast<char32_t>(w);
        if (code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
            code = 0xFFFD;
        }
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
    return narrow;
}

ShortcutLinks shortcutLinkPaths() {
    ShortcutLinks links;
    std::string userDesktop = platform::desktopDir();
    std::string commonDesktop = readRegistryString(kShellFoldersKey, "Common Desktop");
    if (!userDesktop.empty()) {
        links.userLink = toWide(userDesktop + platform::kPathSep + kShortcutFileName);
    }
    if (!commonDesktop.empty()) {
        links.commonLink =
            toWide(trimInstallFolder(commonDesktop) + platform::kPathSep + kShortcutFileName);
    }
    return links;
}

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
    size_t last = target.find_last_of(platform::kPathSep);
    return last == std::string::npos ? target : target.substr(0, last);
}

bool writeDesktopEntry(const std::string& text, const std::wstring& link) {
    if (link.empty()) {
        return false;
    }
    std::string path = fromWide(link);
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        out << text;
        out.close();
        if (!out) {
            return false;
        }
    }
    std::filesystem::permissions(path, std::filesystem::perms(0755),
                                 std::filesystem::perm_options::replace, error);
    return !error;
}

}  // namespace

std::string desktopEntryText(const std::string& target) {
    return std::string("[Desktop Entry]\n") + "Type=Application\n" + "Name=" + kDisplayName + "\n" +
           "Exec=" + quoteExecArgument(target) + "\n" + "Path=" + escapeValue(folderOf(target)) +
           "\n";
}

bool createShortcut(const std::string& target, const std::wstring& firstLink,
                    const std::wstring& fallbackLink) {
    std::string text = desktopEntryText(target);
    if (writeDesktopEntry(text, firstLink)) {
        return true;
    }
    return writeDesktopEntry(text, fallbackLink);
}
