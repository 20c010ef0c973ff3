// The demo product's uninstaller on Windows: removes its desktop shortcut,
// the values the installer registered, and the product folder it lives in.
#include <filesystem>
#include <iostream>
#include <system_error>

#include "platform/platform.h"

int main() {
    const char* uninstallKey =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvmZorozAvuzado";
    platform::removeFile(platform::desktopDir() + platform::kPathSep +
                         platform::shortcutFileName("hobnar语音文字转换器"));
    for (const char* name : {"NoModify", "DisplayIcon", "DisplayName", "DisplayVersion",
                             "InstallLocation", "UninstallString"}) {
        platform::registryDelete(uninstallKey, name);
    }
    platform::registryDelete("SOFTWARE\\ZorozAvuzado", "DisplayPath");
    std::string product = platform::programDir();
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::u8path(product), error);
    std::cout << "hobnarAudio removed from " << product << std::endl;
    return 0;
}
