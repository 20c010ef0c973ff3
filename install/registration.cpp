// After extraction: the entries of the list of installed programs and the
// desktop shortcut.
#include "install/registration.h"

#include <utility>

#include "install/install.h"
#include "platform/platform.h"

namespace install {

const char* const kUninstallRegistryKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvmZorozAvuzado";
const char* const kDisplayName = "hobnar语音文字转换器";

namespace {

const char* const kShellFoldersKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

}  // namespace

bool writeUninstallEntries(const std::string& productFolder, const std::string& version,
                           const std::string& productKey) {
    const std::string mainExecutable = mainExecutableIn(productFolder);
    const std::string uninstaller = joinPath(productFolder, "unInstall.exe");
    const std::pair<const char*, std::string> values[] = {
        {"NoModify", "1"},
        {"DisplayIcon", mainExecutable},
        {"DisplayName", kDisplayName},
        {"DisplayVersion", version},
        {"InstallLocation", productFolder},
        {"UninstallString", uninstaller},
    };
    bool listed = true;
    for (const auto& [name, data] : values) {
        listed = platform::writeRegistryString(kUninstallRegistryKey, name, data) && listed;
    }
    // DisplayPath makes the next run start the product instead of installing
    // it, so it is recorded only for a product that is listed in full.
    return listed && platform::writeRegistryString(productKey, "DisplayPath", mainExecutable);
}

ShortcutLinks shortcutLinkPaths() {
    ShortcutLinks links;
    std::string fileName = platform::shortcutFileName(kDisplayName);
    std::string userDesktop = platform::desktopDir();
    std::string commonDesktop = platform::readRegistryString(kShellFoldersKey, "Common Desktop");
    if (!userDesktop.empty()) {
        links.userLink = joinPath(userDesktop, fileName);
    }
    if (!commonDesktop.empty()) {
        links.commonLink = joinPath(commonDesktop, fileName);
    }
    return links;
}

bool createShortcut(const std::string& target, const std::string& firstLink,
                    const std::string& fallbackLink) {
    return platform::writeShortcut(target, kDisplayName, firstLink) ||
           platform::writeShortcut(target, kDisplayName, fallbackLink);
}

}  // namespace install
