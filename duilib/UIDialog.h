// Standard dialogs the window code opens.  Window thread only; each runs
// modally until the person answers.
#pragma once

#include "duilib/UIDefine.h"
#include "duilib/UIString.h"

namespace DuiLib {

// Asks for a folder with the desktop's folder chooser, titled `title`.
// Answers the chosen folder's path, or an empty string when the person
// cancelled.  `owner` may be nullptr (no owner window).
CDuiString BrowseForFolder(HWND owner, const char* title);

// NULL backend (no display): the answer the next BrowseForFolder gives, and
// the title it was last asked with.
void SetNextFolderChoice(const char* path);
CDuiString LastFolderDialogTitle();

}  // namespace DuiLib
