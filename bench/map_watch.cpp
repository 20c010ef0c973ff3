// Times a GUI program's start: from just before it is spawned until the X
// server maps its top-level window.  The root window's SubstructureNotify
// events are selected before the program starts, so the MapNotify for its
// window is seen the moment the server carries out the map request; no
// polling is involved.
//
//   hobnar-mapwatch TITLE PROGRAM [ARGS...]
//
// A window counts when its _NET_WM_PID is the child's or its title is TITLE.
// Prints "mapped_ms=M" and ends the program with SIGTERM; exits 1 when no
// window maps within 20 seconds or the program ends first.  The program's
// own output goes to /dev/null.  A benchmark tool, not part of the installer.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

double nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

long windowPid(Display* display, Window window) {
    Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && format == 32 && count == 1) {
        pid = *reinterpret_cast<long*>(data);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return pid;
}

std::string windowTitle(Display* display, Window window) {
    Atom nameAtom = XInternAtom(display, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, nameAtom, 0, 256, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr && format == 8) {
        title.assign(reinterpret_cast<char*>(data), count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return title;
}

pid_t spawnQuietly(char** argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for the child's window; the time of its MapNotify, or a negative value.
double waitForMap(Display* display, pid_t child, const std::string& title, double deadline) {
    int fd = ConnectionNumber(display);
    while (nowMs() < deadline) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify) {
                continue;
            }
            double at = nowMs();
            Window window = event.xmap.window;
            if (windowPid(display, window) == child || windowTitle(display, window) == title) {
                return at;
            }
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            return -1;
        }
        pollfd wait{fd, POLLIN, 0};
        poll(&wait, 1, 50);
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: hobnar-mapwatch TITLE PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "hobnar-mapwatch: cannot open the display\n");
        return 2;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    double start = nowMs();
    pid_t child = spawnQuietly(argv + 2);
    if (child < 0) {
        std::fprintf(stderr, "hobnar-mapwatch: cannot start %s\n", argv[2]);
        return 2;
    }
    double mapped = waitForMap(display, child, argv[1], start + 20000);
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    XCloseDisplay(display);
    if (mapped < 0) {
        std::fprintf(stderr, "hobnar-mapwatch: no window of %s was mapped\n", argv[2]);
        return 1;
    }
    std::printf("mapped_ms=%.3f\n", mapped - start);
    return 0;
}
