// The desktop shortcut of an installation.  Internal to the install engine;
// blocking, any thread.
#pragma once

#include <string>

// The product's display name, also the shortcut's name.
extern const char* const kDisplayName;  // "hobnar语音文字转换器"

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
