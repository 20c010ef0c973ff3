// The unattended installation: the start-up sequence without a window, then
// the same install run as a click on the start button, reported on the
// console.  Blocking, first thread only.
#pragma once

#include <string>

#include "app/command_line.h"

namespace app {

// Exit statuses of the program beyond those of an install run's outcome
// (install/outcome.h); all are documented in --help and the README.
enum ExitStatus : int {
    kExitInstalled = 0,       // installed, or already installed in this version
    kExitNoBackend = 2,       // the backend gave no install information
    kExitHttpInitFailed = 6,  // the HTTP library cannot be initialised
    kExitUsage = 64,          // the command line is wrong
    kExitNoDisplay = 69,      // a window was asked for where none can be shown
};

// The unattended run the command line asks for (line.silent), with the
// build's package signing key (empty: none).  Returns the exit status.
int runSilentInstall(const CommandLine& line, const std::string& signingKey);

}  // namespace app
