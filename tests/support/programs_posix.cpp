// The small programs tests install, as shell scripts.
#include <filesystem>

#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace testsupport {

std::vector<std::pair<std::string, std::string>> recordingProduct() {
    return {{"hobnarAudio.exe",
             "#!/bin/sh\necho \"started$GDK_GL\" >> \"$(dirname \"$0\")/started\"\n"},
            {"unInstall.exe", "#!/bin/sh\nexit 0\n"}};
}

bool installPathRecorder(const std::string& path) {
    writeFile(path, "#!/bin/sh\necho \"$0\" > \"$(dirname \"$0\")/started\"\n");
    std::error_code error;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, error);
    return !error;
}

}  // namespace testsupport
