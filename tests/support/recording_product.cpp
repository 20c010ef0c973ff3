// The one Windows program tests install: beside a file "record-path" it is
// installPathRecorder()'s, else recordingProduct()'s hobnarAudio.exe (when so
// named) and unInstall.exe (otherwise).
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"

int main() {
    std::string self = platform::programFilePath();
    std::filesystem::path started = std::filesystem::u8path(platform::programDir() + "\\started");
    if (platform::fileExists(platform::programDir() + "\\record-path")) {
        std::ofstream(started, std::ios::binary) << self << "\n";
    } else if (_wcsicmp(std::filesystem::u8path(self).filename().c_str(), L"hobnarAudio.exe") ==
               0) {
        std::ofstream(started, std::ios::binary | std::ios::app) << "started\n";
    }
    return 0;
}
