// The program entry's start-up sequence: identity, the existing-install exit,
// the HTTP library, the promotion id ("bdviddata"), the launch parameters, the
// first event, then the window and its message loop.
//
// Contract: runs on the process's first thread, which becomes the window
// thread and never waits on the network: the backend's answers arrive while
// the window is already on the screen.  Nothing here throws.  The exit code
// is 0 on every path but one: without a display the program says so and
// ends with kExitNoDisplay.
#pragma once

#include <chrono>
#include <string>

namespace app {

// How long the backend requests still queued when the window closes may
// take to leave: the event of the closing click (pc_close_install or
// pc_click_use) reaches a backend that answers at all in far less, and the
// process must end within two seconds of the click whatever the network does.
constexpr std::chrono::milliseconds kSendingTimeAtClose{1500};

// The promotion id in an argument text: what follows the last "_", up to the
// last "." when that comes later, cut at the first "(" ("setup_10086(1).exe"
// gives "10086"); empty without a "_".  Control bytes are dropped and commas
// become ";".
std::string promotionIdFrom(const std::string& argumentText);

// promotionIdFrom, and the id's bytes written to <local app data>/hobnarAudio/
// "bdviddata" (created or truncated; the folder is created when missing).
// Without a local application-data folder nothing is written anywhere.
std::string extractPromoteId(const std::string& argumentText);

// The skin folder for a program in `programFolder` (with its trailing
// separator): "skin" beside it (a build folder), else an installed copy in
// <prefix>/share/hobnar-setup/skin next to <prefix>/bin.
std::string skinFolderFor(const std::string& programFolder);

// The whole run with its window, packages checked against `signingKey` (the
// build's; empty: none).  Returns the process exit code.
int runInstaller(const std::string& argumentText, const std::string& signingKey);

}  // namespace app
