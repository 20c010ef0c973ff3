#include "app/command_line.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/platform.h"

namespace {

const char* const kDirOption = "--dir";

void appendArgument(std::string& text, const char* argument) {
    if (!text.empty()) {
        text += ' ';
    }
    text += argument;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--silent") == 0) {
            line.silent = true;
        } else if (std::strcmp(argument, "--help") == 0) {
            line.help = true;
        } else if (std::strcmp(argument, "--version") == 0) {
            line.version = true;
        } else if (std::strncmp(argument, "--dir=", 6) == 0) {
            line.dirGiven = true;
            line.dir = argument + 6;
        } else if (std::strcmp(argument, kDirOption) == 0) {
            if (i + 1 >= argc) {
                line.error = "--dir needs a folder";
                break;
            }
            line.dirGiven = true;
            line.dir = argv[++i];
        } else {
            appendArgument(line.argumentText, argument);
        }
    }
    if (line.error.empty() && line.dirGiven && line.dir.empty()) {
        line.error = "--dir needs a folder";
    }
    if (line.error.empty() && line.dirGiven && !line.silent) {
        line.error = "--dir goes with --silent";
    }
    if (line.error.empty() && line.dirGiven && !platform::isUtf8(line.dir)) {
        line.error = "--dir is not valid UTF-8";
    }
    return line;
}

std::string absoluteFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::path absolute =
        std::filesystem::absolute(std::filesystem::u8path(folder), error);
    return error ? folder : absolute.u8string();
}

std::string usageText() {
    return "Usage: hobnar-setup [ARGUMENTS...]\n"
           "       hobnar-setup --silent [--dir=FOLDER] [ARGUMENTS...]\n"
           "\n"
           "Installs hobnarAudio, the speech-to-text product: downloads its package,\n"
           "unpacks it, registers it and puts a shortcut on the desktop.\n"
           "\n"
           "  --silent        install without a window; progress goes to standard output,\n"
           "                  and the exit status is 0 on success, non-zero on failure\n"
           "                  (with a one-line reason on standard error)\n"
           "  --dir=FOLDER    with --silent: install below FOLDER (default: the user's\n"
           "                  application-data folder, ~/.local/share); the product goes\n"
           "                  to FOLDER/win-ia32-unpacked\n"
           "  --help          show this text\n"
           "  --version       show the version\n"
           "\n"
           "Other arguments: a promotion id after the last \"_\" (setup_10086.exe), and\n"
           "\"dev\" anywhere to use the test servers instead of the production ones.\n"
           "An unattended run reports the events pc_show_install, pc_click_install,\n"
           "pc_Installing and, on success, pc_install_success.\n";
}

std::string versionText() {
    return "hobnar-setup 2.0.1\n";
}
