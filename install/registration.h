// What an installation leaves in the system beyond the product folder: the
// entries of the list of installed programs and the desktop shortcut.
// Internal to the install engine; blocking, any thread.
#pragma once

#include <string>

namespace install {

extern const char* const kUninstallRegistryKey;
// The product's display name, also the shortcut's name.
extern const char* const kDisplayName;  // "hobnar语音文字转换器"

// Writes, in this order, NoModify, DisplayIcon, DisplayName, DisplayVersion
// (`version`), InstallLocation, UninstallString under the uninstall key and
// then, when all of them were written, DisplayPath under `productKey`, for
// the product folder.  False when any value could not be written.
bool writeUninstallEntries(const std::string& productFolder, const std::string& version,
                           const std::string& productKey);

struct ShortcutLinks {
    std::string userLink;    // on the user's desktop; empty when it is unknown
    std::string commonLink;  // on the all-users desktop; empty when it is unknown
};
// The two link paths: the user's desktop folder and the "Common Desktop"
// registry value, each + "/" + the shortcut's file name.
ShortcutLinks shortcutLinkPaths();

// Writes the shortcut to `target` at firstLink; only when that fails, at
// fallbackLink.  An empty link path is skipped, never written beside the
// root.  True when one of the two was written.
bool createShortcut(const std::string& target, const std::string& firstLink,
                    const std::string& fallbackLink);

}  // namespace install
