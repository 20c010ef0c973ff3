// The release name in an os-release file.  A pure function on text, so it is
// compiled (and tested) on every system, though only the POSIX layer reads
// such a file.
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

// Shell-style value of an os-release assignment: quotes removed, backslash
// escapes resolved.
std::string unquoteOsReleaseValue(const std::string& raw) {
    std::string value;
    char quote = 0;
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (quote == 0 && (c == '"' || c == '\'')) {
            quote = c;
        } else if (quote != 0 && c == quote) {
            quote = 0;
        } else if (c == '\\' && quote != '\'' && i + 1 < raw.size()) {
            value += raw[++i];
        } else {
            value += c;
        }
    }
    return value;
}

}  // namespace

std::string parseOsReleaseName(const std::string& osReleaseText) {
    std::string prettyName, name, version;
    for (const std::string& line : linesOf(osReleaseText)) {
        size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, eq);
        std::string value = unquoteOsReleaseValue(line.substr(eq + 1));
        if (key == "PRETTY_NAME") {
            prettyName = value;
        } else if (key == "NAME") {
            name = value;
        } else if (key == "VERSION") {
            version = value;
        }
    }
    if (!prettyName.empty()) {
        return prettyName;
    }
    if (!name.empty() && !version.empty()) {
        return name + " " + version;
    }
    return name;
}

}  // namespace platform
