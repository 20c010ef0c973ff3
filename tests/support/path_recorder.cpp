// installPathRecorder()'s program on Windows: writes the path of its own
// program file and a line break into the file "started" beside itself.
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"

int main() {
    std::ofstream started(std::filesystem::u8path(platform::programDir() + "\\started"),
                          std::ios::binary | std::ios::trunc);
    started << platform::programFilePath() << "\n";
    return started ? 0 : 1;
}
