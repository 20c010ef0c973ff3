#include "app/command_line.h"
#include "app/silent.h"
#include "app/startup.h"
#include "platform/platform.h"

namespace {

using namespace app;

// The key is part of the program: its build sets it, nothing at run time.
const char* const kPackageSigningKey = HOBNAR_PACKAGE_SIGNING_KEY;

int run(const CommandLine& line) {
    if (line.help) {
        platform::printText(usageText());
        return 0;
    }
    if (line.version) {
        platform::printText(versionText());
        return 0;
    }
    if (line.silent) {
        return runSilentInstall(line, kPackageSigningKey);
    }
    return runInstaller(line.argumentText, kPackageSigningKey);
}

}  // namespace

int main(int argc, char** argv) {
    // Before any library is loaded: none from beside the program, where a
    // web page may have dropped one into the Downloads folder.
    platform::restrictLibrarySearch();
    platform::useParentConsole();
    CommandLine line = parseCommandLine(platform::programArguments(argc, argv));
    // The log is opened even for a wrong command line: an elevated run
    // started from an ordinary prompt has no console to say it on.
    if (!line.logFile.empty() && !platform::setLogFile(line.logFile) && line.error.empty()) {
        line.error = "cannot write the log file " + platform::singleLine(line.logFile);
    }
    if (!line.error.empty()) {
        std::string said = "hobnar-setup: " + line.error + " (see --help)";
        platform::printErrorLine(said);
        platform::writeLogLine(said);
        platform::writeLogLine("exit code " + std::to_string(kExitUsage));
        return kExitUsage;
    }
    int status = run(line);
    // For the log file only: the exit status itself says it everywhere else.
    platform::writeLogLine("exit code " + std::to_string(status));
    return status;
}
