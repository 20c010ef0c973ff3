#include <iostream>

#include "app/command_line.h"
#include "app/silent.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    CommandLine line = parseCommandLine(argc, argv);
    if (!line.error.empty()) {
        std::cerr << "hobnar-setup: " << line.error << " (see --help)" << std::endl;
        return kExitUsage;
    }
    if (line.help) {
        std::cout << usageText();
        return 0;
    }
    if (line.version) {
        std::cout << versionText();
        return 0;
    }
    if (line.silent) {
        return runSilentInstall(line.argumentText,
                                line.dirGiven ? absoluteFolder(line.dir) : std::string());
    }
    return runInstaller(line.argumentText);
}
