// The unattended installation: the start-up sequence without a window, then
// the same download, extraction, registration, shortcut and events as a
// click on the start button.  Blocking, first thread only.
#pragma once

#include <string>

// Exit status of an unattended run.
enum SilentExit : int {
    kSilentInstalled = 0,
    kSilentNoBackend = 2,     // the backend gave no install information
    kSilentFolderFailed = 3,  // the product folder cannot be created
    kSilentDownloadFailed = 4,
    kSilentExtractFailed = 5,
    kSilentHttpInitFailed = 6,
};

// `folder` is the install folder (empty: the default one).
int runSilentInstall(const std::string& argumentText, const std::string& folder);
