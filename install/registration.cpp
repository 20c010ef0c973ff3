// After extraction: the entries of the list of installed programs and the
// desktop shortcut.
#include "install/install.h"
#include "install/shortcut.h"

const char* const kUninstallRegistryKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvmZorozAvuzado";
const char* const kDisplayName = "hobnar语音文字转换器";

namespace {

const char* const kShellFoldersKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

}  // namespace

bool writeUninstallEntries(const InstallerContext& context, const std::string& productFolder) {
    const std::string mainExecutable = mainExecutableIn(productFolder);
    const std::string uninstaller = productFolder + platform::kPathSep + "unInstall.exe";
    const std::pair<const char*, std::string> values[] = {
        {"NoModify", "1"},
        {"DisplayIcon", mainExecutable},
        {"DisplayName", kDisplayName},
        {"DisplayVersion", context.version},
        {"InstallLocation", productFolder},
        {"UninstallString", uninstaller},
    };
    bool listed = true;
    for (const auto& [name, data] : values) {
        listed = writeRegistryString(kUninstallRegistryKey, name, data) && listed;
    }
    // DisplayPath makes the next run start the product instead of installing
    // it, so it is recorded only for a product that is listed in full.
    return listed && writeRegistryString(context.registryKeyPath, "DisplayPath", mainExecutable);
}

ShortcutLinks shortcutLinkPaths() {
    ShortcutLinks links;
    std::string fileName = platform::shortcutFileName(kDisplayName);
    std::string userDesktop = platform::desktopDir();
    std::string commonDesktop = readRegistryString(kShellFoldersKey, "Common Desktop");
    if (!userDesktop.empty()) {
        links.userLink = userDesktop + platform::kPathSep + fileName;
    }
    if (!commonDesktop.empty()) {
        links.commonLink = trimInstallFolder(commonDesktop) + platform::kPathSep + fileName;
    }
    return links;
}

bool createShortcut(const std::string& target, const std::string& firstLink,
                    const std::string& fallbackLink) {
    return platform::writeShortcut(target, kDisplayName, firstLink) ||
           platform::writeShortcut(target, kDisplayName, fallbackLink);
}
