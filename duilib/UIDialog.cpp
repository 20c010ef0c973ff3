// Standard dialogs: the backend opens them (a real dialog with a display,
// the preset answer without one).
#include "duilib/UIDialog.h"

#include <string>

#include "duilib/window_layer.h"

namespace DuiLib {
namespace {

std::string g_lastTitle;

}  // namespace

CDuiString BrowseForFolder(HWND owner, const char* title) {
    g_lastTitle = title ? title : "";
    return CDuiString(WindowLayer::backend().chooseFolder(WindowLayer::find(owner), g_lastTitle));
}

void SetNextFolderChoice(const char* path) {
    WindowLayer::presetFolderChoice(path ? path : "");
}

CDuiString LastFolderDialogTitle() {
    return CDuiString(g_lastTitle);
}

}  // namespace DuiLib
