// A system's own channel for diagnostics, beside standard error and the log
// file: the debugger's output on Windows, none elsewhere.  Internal to
// platform/; called by debugOutput with its lock held.
#pragma once

#include <string>

namespace platform {

void systemDebugOutput(const std::string& line);

}  // namespace platform
