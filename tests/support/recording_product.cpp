// The product of recordingProduct() on Windows: as hobnarAudio.exe it appends
// "started" and a line break to the file "started" beside itself; under any
// other name (unInstall.exe) it does nothing.  One program serves both so the
// package needs no second build.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"

int main() {
    std::string self = platform::programFilePath();
    std::string name = self.substr(self.find_last_of("\\/") + 1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name != "hobnaraudio.exe") {
        return 0;
    }
    std::ofstream started(std::filesystem::u8path(platform::programDir() + "\\started"),
                          std::ios::binary | std::ios::app);
    started << "started\n";
    return started ? 0 : 1;
}
