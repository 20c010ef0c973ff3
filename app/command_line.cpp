#include "app/command_line.h"

#include <system_error>

#include "backend/version.h"
#include "platform/platform.h"

namespace app {
namespace {

// A deadline of more than a year is no deadline a deployment tool means.
constexpr long long kLongestTimeoutSeconds = 366LL * 24 * 3600;

void appendArgument(std::string& text, const std::string& argument) {
    if (!text.empty()) {
        text += ' ';
    }
    text += argument;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// NSIS's /D=FOLDER is the last argument and may hold blanks unquoted, so it
// takes every argument after it as well.
std::string nsisFolder(const std::vector<std::string>& arguments, size_t& i) {
    std::string folder = arguments[i].substr(3);
    while (i + 1 < arguments.size()) {
        folder += ' ' + arguments[++i];
    }
    return folder;
}

// SECONDS of --timeout=SECONDS: a whole number from 1 to a year.
void takeTimeout(CommandLine& line, const std::string& value) {
    long long seconds = 0;
    bool digits = !value.empty() && value.size() <= 12;
    for (char c : value) {
        digits = digits && c >= '0' && c <= '9';
        seconds = digits ? seconds * 10 + (c - '0') : 0;
    }
    if (!digits || seconds < 1 || seconds > kLongestTimeoutSeconds) {
        line.error = "--timeout needs a whole number of seconds from 1 to " +
                     std::to_string(kLongestTimeoutSeconds);
        return;
    }
    line.timeout = std::chrono::seconds(seconds);
}

// One of our own options at arguments[i]; false for any other argument.
// The value-taking ones may advance i.
bool takeOption(CommandLine& line, const std::vector<std::string>& arguments, size_t& i) {
    const std::string& argument = arguments[i];
    if (argument == "--silent" || argument == "/S") {
        line.silent = true;
    } else if (argument == "--help") {
        line.help = true;
    } else if (argument == "--version") {
        line.version = true;
    } else if (startsWith(argument, "--dir=")) {
        line.dirGiven = true;
        line.dir = argument.substr(6);
    } else if (startsWith(argument, "/D=")) {
        line.dirGiven = true;
        line.dir = nsisFolder(arguments, i);
    } else if (argument == "--dir") {
        if (i + 1 >= arguments.size()) {
            line.error = "--dir needs a folder";
            return true;
        }
        line.dirGiven = true;
        line.dir = arguments[++i];
    } else if (argument == "--timeout") {
        line.error = "--timeout needs =SECONDS";
    } else if (startsWith(argument, "--timeout=") || startsWith(argument, "/TIMEOUT=")) {
        takeTimeout(line, argument.substr(argument.find('=') + 1));
    } else if (startsWith(argument, "--log=") || startsWith(argument, "/LOG=")) {
        line.logFile = argument.substr(argument.find('=') + 1);
        if (line.logFile.empty()) {
            line.error = "--log needs a file";
        }
    } else {
        return false;
    }
    return true;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        if (!takeOption(line, arguments, i)) {
            appendArgument(line.argumentText, arguments[i]);
        }
    }
    if (line.error.empty() && line.dirGiven && line.dir.empty()) {
        line.error = "--dir needs a folder";
    }
    if (line.error.empty() && line.dirGiven && !line.silent) {
        line.error = "--dir goes with --silent";
    }
    if (line.error.empty() && line.timeout && !line.silent) {
        line.error = "--timeout goes with --silent";
    }
    if (line.error.empty() && line.dirGiven && !platform::isUtf8(line.dir)) {
        line.error = "--dir is not valid UTF-8";
    }
    return line;
}

// "a/../b" is recorded as the folder it names.
std::string absoluteFolder(const std::string& folder) {
    return platform::absolutePath(folder);
}

std::string usageText() {
    return "Usage: hobnar-setup [ARGUMENTS...]\n"
           "       hobnar-setup --silent [--dir=FOLDER] [--timeout=SECONDS] [--log=FILE]\n"
           "                    [ARGUMENTS...]\n"
           "       hobnar-setup /S [/TIMEOUT=SECONDS] [/LOG=FILE] [ARGUMENTS...] [/D=FOLDER]\n"
           "\n"
           "Installs hobnarAudio, the speech-to-text product: downloads its package,\n"
           "checks it, unpacks it, registers it and puts a shortcut on the desktop.\n"
           "\n"
           "  --silent, /S    install without a window; progress goes to standard output,\n"
           "                  a failure to standard error as one line with its reason\n"
           "  --dir=FOLDER    with --silent: install below FOLDER (default: the user's\n"
           "  /D=FOLDER       application-data folder); the product goes to\n"
           "                  FOLDER/win-ia32-unpacked.  /D= is the last argument and may\n"
           "                  hold blanks unquoted; a relative FOLDER is taken from the\n"
           "                  working folder\n"
           "  --timeout=SECONDS\n"
           "  /TIMEOUT=SECONDS\n"
           "                  with --silent: end the whole run after SECONDS at the most\n"
           "                  (exit status 16); what was downloaded is kept, and the next\n"
           "                  run continues it.  Without it a run can take as long as the\n"
           "                  download's retries allow (see the README)\n"
           "  --log=FILE      also write every diagnostic line, with its time, to FILE\n"
           "  /LOG=FILE\n"
           "  --help          show this text\n"
           "  --version       show the version\n"
           "\n"
           "Other arguments: a promotion id after the last \"_\" (setup_10086.exe), and\n"
           "\"dev\" anywhere to use the test servers instead of the production ones.\n"
           "An unattended run reports the events pc_show_install, pc_click_install,\n"
           "pc_Installing and, on success, pc_install_success.\n"
           "\n"
           "Exit status:\n"
           "   0  installed, or already installed in this version\n"
           "   2  the backend gave no install information\n"
           "   3  the product folder cannot be created\n"
           "   4  the download failed (network, server, or an HTTP error it kept answering)\n"
           "   5  the package cannot be unpacked (no archive, damaged, encrypted, unsafe\n"
           "      entries, no hobnarAudio.exe)\n"
           "   6  the HTTP library cannot be initialised\n"
           "   7  the UnRAR library is not available\n"
           "   8  another installation into the same folder is running\n"
           "   9  the product could not be recorded in the registry\n"
           "  10  the disk is full\n"
           "  11  the install folder or a product file cannot be written\n"
           "  12  the package address is malformed or not http(s)\n"
           "  13  the install folder's name is too long\n"
           "  14  the package does not match its announced SHA-256 digest\n"
           "  15  the package's signature is missing, unreadable or wrong\n"
           "  16  the run did not finish within --timeout\n"
           "  64  the command line is wrong\n"
           "  69  no display to show the window on (use --silent)\n";
}

std::string versionText() {
    return std::string("hobnar-setup ") + backend::kDeliveredVersion + "\n";
}

}  // namespace app
