// Writes a PNG of the X screen (or of a rectangle of it) for review:
//   x11_shot OUT.png [X Y WIDTH HEIGHT]
#include <gdk/gdk.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: x11_shot OUT.png [X Y WIDTH HEIGHT]\n");
        return 2;
    }
    if (!gdk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "x11_shot: no display\n");
        return 1;
    }
    GdkWindow* root = gdk_get_default_root_window();
    int x = 0, y = 0;
    int width = gdk_window_get_width(root), height = gdk_window_get_height(root);
    if (argc == 6) {
        x = std::atoi(argv[2]);
        y = std::atoi(argv[3]);
        width = std::atoi(argv[4]);
        height = std::atoi(argv[5]);
    }
    GdkPixbuf* pixels = gdk_pixbuf_get_from_window(root, x, y, width, height);
    if (!pixels || !gdk_pixbuf_save(pixels, argv[1], "png", nullptr, nullptr)) {
        std::fprintf(stderr, "x11_shot: cannot capture\n");
        return 1;
    }
    g_object_unref(pixels);
    return 0;
}
