// The unattended installation: the start-up sequence without a window, then
// the same install run as a click on the start button, reported on the
// console.  Blocking, first thread only.
#pragma once

#include <string>

#include "install/install.h"

// Exit status of the program; documented in --help and the README.
enum ExitStatus : int {
    kExitInstalled = 0,        // installed, or already installed in this version
    kExitNoBackend = 2,        // the backend gave no install information
    kExitFolderFailed = 3,     // the product folder cannot be created
    kExitDownloadFailed = 4,   // the network or the server failed (or kept refusing)
    kExitUnpackFailed = 5,     // the package is no archive, damaged, encrypted or incomplete
    kExitHttpInitFailed = 6,   // the HTTP library cannot be initialised
    kExitUnrarMissing = 7,     // the UnRAR library is not available
    kExitInstallRunning = 8,   // another installation into the folder is running
    kExitNotRegistered = 9,    // the product could not be recorded in the registry
    kExitDiskFull = 10,        // the disk filled up
    kExitNotWritable = 11,     // the install folder or a product file cannot be written
    kExitAddressRefused = 12,  // the package address is malformed or not http(s)
    kExitFolderTooLong = 13,   // the install folder's name is too long
    kExitDigestMismatch = 14,  // the package does not match its announced digest
    kExitBadSignature = 15,    // the package's signature is missing, unreadable or wrong
    kExitUsage = 64,           // the command line is wrong
    kExitNoDisplay = 69,       // a window was asked for where none can be shown
};

// The exit status an install outcome ends an unattended run with.
int exitStatusFor(const InstallOutcome& outcome);

// `folder` is the install folder (empty: the default one).
int runSilentInstall(const std::string& argumentText, const std::string& folder);
