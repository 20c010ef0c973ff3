// The demo product that the local demo installs: a small window saying the
// product runs (or one line on standard output without a display).
#include <gtk/gtk.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (!gtk_init_check(&argc, &argv)) {
        std::printf("hobnar 语音文字转换器 (demo) is installed and runs.\n");
        return 0;
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "hobnar 语音文字转换器");
    gtk_window_set_default_size(GTK_WINDOW(window), 420, 200);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(label),
                         "<span size='x-large' weight='bold'>hobnar 语音文字转换器</span>\n\n"
                         "演示版已安装并正在运行。\nThe demo product is installed and running.");
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
    gtk_container_add(GTK_CONTAINER(window), label);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
