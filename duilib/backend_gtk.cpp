// The GTK 3 backend: one borderless GtkWindow per window, painted by the
// framework through Cairo; the GTK main loop is the message loop.  The window
// shape (SetWindowRgn) becomes an X shape and input region, so cut corners
// are really transparent and let clicks through.
//
// GLib's TRUE/FALSE macros come in after our headers on purpose.
#include "duilib/window_layer.h"

#include "duilib/render_cairo.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <atomic>

namespace DuiLib {
namespace {

GtkWidget* widgetOf(WindowRecord& w) {
    return static_cast<GtkWidget*>(w.native);
}
GtkWindow* windowOf(WindowRecord& w) {
    return GTK_WINDOW(w.native);
}
HWND handleOf(gpointer data) {
    return static_cast<HWND>(data);
}
POINT pointOf(double x, double y) {
    return POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
}

gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer data) {
    CairoRenderContext context(cr);
    WindowLayer::paint(handleOf(data), context);
    return TRUE;
}

gboolean onButtonPress(GtkWidget*, GdkEventButton* e, gpointer data) {
    if (e->type == GDK_BUTTON_PRESS && e->button == 1) {
        WindowLayer::mouseDown(handleOf(data), pointOf(e->x, e->y));
    }
    return TRUE;
}

gboolean onButtonRelease(GtkWidget*, GdkEventButton* e, gpointer data) {
    if (e->button == 1) {
        WindowLayer::mouseUp(handleOf(data), pointOf(e->x, e->y));
    }
    return TRUE;
}

gboolean onMotion(GtkWidget*, GdkEventMotion* e, gpointer data) {
    WindowLayer::mouseMove(handleOf(data), pointOf(e->x, e->y));
    return TRUE;
}

gboolean onLeave(GtkWidget*, GdkEventCrossing*, gpointer data) {
    WindowLayer::mouseLeave(handleOf(data));
    return TRUE;
}

gboolean onKeyPress(GtkWidget*, GdkEventKey* e, gpointer data) {
    UINT vk = 0;
    switch (e->keyval) {
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
            vk = VK_TAB;
            break;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            vk = VK_RETURN;
            break;
        case GDK_KEY_Escape:
            vk = VK_ESCAPE;
            break;
        case GDK_KEY_space:
            vk = VK_SPACE;
            break;
        default:
            return FALSE;
    }
    bool shift = (e->state & GDK_SHIFT_MASK) || e->keyval == GDK_KEY_ISO_Left_Tab;
    WindowLayer::key(handleOf(data), vk, shift);
    return TRUE;
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
    // Closing is the window code's decision (WM_CLOSE), not GTK's.
    WindowLayer::dispatch(handleOf(data), WM_CLOSE, 0, 0);
    return TRUE;
}

gboolean onConfigure(GtkWidget*, GdkEventConfigure* e, gpointer data) {
    WindowLayer::setRect(handleOf(data), RECT{e->x, e->y, e->x + e->width, e->y + e->height}, true);
    return FALSE;
}

gboolean onMap(GtkWidget*, GdkEvent*, gpointer data) {
    if (WindowRecord* w = WindowLayer::find(handleOf(data))) {
        w->mapped = true;
    }
    return FALSE;
}

gboolean onUnmap(GtkWidget*, GdkEvent*, gpointer data) {
    if (WindowRecord* w = WindowLayer::find(handleOf(data))) {
        w->mapped = false;
        w->painted = false;
    }
    return FALSE;
}

gboolean onWindowState(GtkWidget*, GdkEventWindowState* e, gpointer data) {
    if (WindowRecord* w = WindowLayer::find(handleOf(data))) {
        w->iconic = (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    }
    return FALSE;
}

struct TimerKey {
    HWND hWnd;
    UINT_PTR id;
};

gboolean onTimer(gpointer data) {
    const TimerKey* key = static_cast<const TimerKey*>(data);
    WindowLayer::timerTick(key->hWnd, key->id);
    return G_SOURCE_CONTINUE;
}

void freeTimerKey(gpointer data) {
    delete static_cast<TimerKey*>(data);
}

class GtkBackend : public WindowBackend {
  public:
    bool isNull() const override { return false; }

    bool createNative(WindowRecord& w) override {
        GtkWidget* win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(win), w.title.c_str());
        gtk_window_set_role(GTK_WINDOW(win), w.className.c_str());
        gtk_window_set_decorated(GTK_WINDOW(win), FALSE);
        gtk_window_set_resizable(GTK_WINDOW(win), FALSE);
        gtk_widget_set_app_paintable(win, TRUE);
        gtk_widget_add_events(win, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                       GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK |
                                       GDK_KEY_PRESS_MASK | GDK_STRUCTURE_MASK);
        gpointer data = w.handle;
        g_signal_connect(win, "draw", G_CALLBACK(onDraw), data);
        g_signal_connect(win, "button-press-event", G_CALLBACK(onButtonPress), data);
        g_signal_connect(win, "button-release-event", G_CALLBACK(onButtonRelease), data);
        g_signal_connect(win, "motion-notify-event", G_CALLBACK(onMotion), data);
        g_signal_connect(win, "leave-notify-event", G_CALLBACK(onLeave), data);
        g_signal_connect(win, "key-press-event", G_CALLBACK(onKeyPress), data);
        g_signal_connect(win, "delete-event", G_CALLBACK(onDelete), data);
        g_signal_connect(win, "configure-event", G_CALLBACK(onConfigure), data);
        g_signal_connect(win, "map-event", G_CALLBACK(onMap), data);
        g_signal_connect(win, "unmap-event", G_CALLBACK(onUnmap), data);
        g_signal_connect(win, "window-state-event", G_CALLBACK(onWindowState), data);
        w.native = win;
        place(w);
        return true;
    }

    void destroyNative(WindowRecord& w) override {
        if (w.native) {
            gtk_widget_destroy(widgetOf(w));
            w.native = nullptr;
        }
    }

    void show(WindowRecord& w, bool visible, bool takeFocus) override {
        if (!visible) {
            gtk_widget_hide(widgetOf(w));
        } else if (takeFocus) {
            gtk_window_present(windowOf(w));
        } else {
            gtk_widget_show(widgetOf(w));
        }
    }

    void place(WindowRecord& w) override {
        int cx = w.rect.right - w.rect.left;
        int cy = w.rect.bottom - w.rect.top;
        gtk_widget_set_size_request(widgetOf(w), cx, cy);
        gtk_window_resize(windowOf(w), cx, cy);
        gtk_window_move(windowOf(w), w.rect.left, w.rect.top);
    }

    void invalidate(WindowRecord& w) override { gtk_widget_queue_draw(widgetOf(w)); }

    void applyRegion(WindowRecord& w) override {
        if (!w.region) {
            gtk_widget_shape_combine_region(widgetOf(w), nullptr);
            gtk_widget_input_shape_combine_region(widgetOf(w), nullptr);
            return;
        }
        int cx = std::max(1, w.rect.right - w.rect.left);
        int cy = std::max(1, w.rect.bottom - w.rect.top);
        cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A1, cx, cy);
        cairo_t* cr = cairo_create(mask);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        regionPath(cr, *w.region);
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_region_t* region = gdk_cairo_region_create_from_surface(mask);
        gtk_widget_shape_combine_region(widgetOf(w), region);
        gtk_widget_input_shape_combine_region(widgetOf(w), region);
        cairo_region_destroy(region);
        cairo_surface_destroy(mask);
    }

    void startTimer(WindowRecord& w, UINT_PTR id) override {
        TimerSlot& slot = w.timers[id];
        slot.nativeId = g_timeout_add_full(G_PRIORITY_DEFAULT, slot.elapseMs, onTimer,
                                           new TimerKey{w.handle, id}, freeTimerKey);
    }

    void stopTimer(WindowRecord& w, UINT_PTR id) override {
        auto found = w.timers.find(id);
        if (found != w.timers.end() && found->second.nativeId) {
            g_source_remove(found->second.nativeId);
            found->second.nativeId = 0;
        }
    }

    void beginDrag(WindowRecord& w, POINT screen) override {
        gtk_window_begin_move_drag(windowOf(w), 1, screen.x, screen.y,
                                   gtk_get_current_event_time());
    }

    RECT workArea() override {
        GdkDisplay* display = gdk_display_get_default();
        GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
        if (!monitor) {
            monitor = gdk_display_get_monitor(display, 0);
        }
        GdkRectangle area{0, 0, 1024, 768};
        if (monitor) {
            gdk_monitor_get_workarea(monitor, &area);
        }
        return RECT{area.x, area.y, area.x + area.width, area.y + area.height};
    }

    // Any thread: one idle callback drains the queue on the GTK thread.
    void wake() override {
        if (!m_drainScheduled.exchange(true)) {
            g_idle_add(onPosted, this);
        }
    }

    int run() override {
        int exitCode = 0;
        if (WindowLayer::takeQuit(&exitCode)) {
            return exitCode;
        }
        WindowLayer::drainPosted();
        gtk_main();
        WindowLayer::takeQuit(&exitCode);
        return exitCode;
    }

    void quit() override {
        if (gtk_main_level() > 0) {
            gtk_main_quit();
        }
    }

    bool capture(WindowRecord& w, const std::string& path) override {
        GdkWindow* gdkWindow = gtk_widget_get_window(widgetOf(w));
        if (!w.mapped || !gdkWindow) {
            return false;
        }
        gdk_display_sync(gdk_display_get_default());
        int x = 0;
        int y = 0;
        gdk_window_get_origin(gdkWindow, &x, &y);
        GdkPixbuf* pixels =
            gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y,
                                       w.rect.right - w.rect.left, w.rect.bottom - w.rect.top);
        if (!pixels) {
            return false;
        }
        gboolean saved = gdk_pixbuf_save(pixels, path.c_str(), "png", nullptr, nullptr);
        g_object_unref(pixels);
        return saved;
    }

    // Without a transient parent, as the installer has always opened it:
    // the desktop places the dialog.
    std::string chooseFolder(WindowRecord*, const std::string& title) override {
        GtkWidget* dialog = gtk_file_chooser_dialog_new(
            title.c_str(), nullptr, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "取消",
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
        return chosen;
    }

  private:
    static gboolean onPosted(gpointer self) {
        static_cast<GtkBackend*>(self)->m_drainScheduled = false;
        WindowLayer::drainPosted();
        return G_SOURCE_REMOVE;
    }

    std::atomic<bool> m_drainScheduled{false};
};

}  // namespace

std::unique_ptr<WindowBackend> makeGtkBackend() {
    // Everything is drawn with Cairo.  Unless told otherwise, GDK opens GLX
    // while it connects, only to pick visuals for GL areas we never create,
    // which loads the system's GL driver and costs a large share of the time
    // to the first window.  GDK reads the switch once, during gtk_init; it is
    // taken back afterwards so that programs we start (the installed product)
    // do not inherit it.  A GDK_GL the user set is left alone.
    bool glSwitchOurs = g_getenv("GDK_GL") == nullptr;
    if (glSwitchOurs) {
        g_setenv("GDK_GL", "disable", TRUE);
    }
    bool initialised = gtk_init_check(nullptr, nullptr);
    if (glSwitchOurs) {
        g_unsetenv("GDK_GL");
    }
    if (!initialised) {
        return nullptr;
    }
    return std::make_unique<GtkBackend>();
}

}  // namespace DuiLib
