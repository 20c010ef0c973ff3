// The small programs tests install, as Windows programs of this build
// (recording_product.cpp, path_recorder.cpp), copied from beside the test.
#include "tests/support/backend_process.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

namespace testsupport {

std::vector<std::pair<std::string, std::string>> recordingProduct() {
    std::string product = readFile(buildToolPath("recording_product"));
    return {{"hobnarAudio.exe", product}, {"unInstall.exe", product}};
}

bool installPathRecorder(const std::string& path) {
    std::string program = readFile(buildToolPath("path_recorder"));
    if (program.empty()) {
        return false;
    }
    writeFile(path, program);
    return readFile(path) == program;
}

}  // namespace testsupport
