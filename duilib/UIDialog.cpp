#include "duilib/UIDialog.h"

#include <gtk/gtk.h>

#include <string>

#include "duilib/UIDriver.h"

namespace DuiLib {
namespace {

std::string g_nextChoice;
std::string g_lastTitle;

CDuiString chooseWithGtk(const char* title) {
    GtkWidget* dialog =
        gtk_file_chooser_dialog_new(title, nullptr, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "取消",
                                    GTK_RESPONSE_CANCEL, "确定", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_file_chooser_set_create_folders(GTK_FILE_CHOOSER(dialog), TRUE);
    std::string chosen;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
            chosen = path;
            g_free(path);
        }
    }
    gtk_widget_destroy(dialog);
    return CDuiString(chosen);
}

}  // namespace

CDuiString BrowseForFolder(HWND, const char* title) {
    g_lastTitle = title ? title : "";
    if (IsNullBackend()) {
        std::string answer;
        answer.swap(g_nextChoice);
        return CDuiString(answer);
    }
    return chooseWithGtk(title);
}

void SetNextFolderChoice(const char* path) {
    g_nextChoice = path ? path : "";
}

CDuiString LastFolderDialogTitle() {
    return CDuiString(g_lastTitle);
}

}  // namespace DuiLib
