// Windows command lines from argument vectors.  Pure text, compiled on every
// system so that its table of cases runs in both builds.
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

// One argument: as it is when it needs no quotes; otherwise in double quotes,
// every quote escaped and the backslashes before a quote, or before the
// closing quote, doubled (elsewhere backslashes are literal).
std::string quoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        return argument;
    }
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

}  // namespace

std::string windowsCommandLine(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].find('"') != std::string::npos) {
        return {};
    }
    std::string commandLine = "\"" + argv[0] + "\"";
    for (size_t i = 1; i < argv.size(); ++i) {
        commandLine += ' ';
        commandLine += quoteArgument(argv[i]);
    }
    return commandLine;
}

}  // namespace platform
