// The installer's own options, taken out of the command line before the
// promotion id and the "dev" switch look at what remains.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace app {

struct CommandLine {
    bool silent = false;    // --silent: install without a window
    bool help = false;      // --help
    bool version = false;   // --version
    bool dirGiven = false;  // --dir=FOLDER or --dir FOLDER
    std::string dir;        // the install folder of an unattended run
    std::string logFile;    // --log=FILE or /LOG=FILE: diagnostics go there too
    // --timeout=SECONDS or /TIMEOUT=SECONDS: the unattended run's bound.
    std::optional<std::chrono::seconds> timeout;
    std::string argumentText;  // every other argument, joined by blanks
    std::string error;         // a problem with the options, or empty
};

// The arguments after the program's name (UTF-8).  --silent/--dir=/--timeout=
// and the Windows installer forms /S, /D=FOLDER, /LOG=FILE and
// /TIMEOUT=SECONDS are taken out; the rest is the argument text.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The folder made absolute against the working folder, so that what is
// registered still names it from anywhere.
std::string absoluteFolder(const std::string& folder);

// The texts of --help and --version.
std::string usageText();
std::string versionText();

}  // namespace app
