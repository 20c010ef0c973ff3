// The backend factory: the one place that lists the backends.  A display
// backend is added here with one line; its sources go into the display list
// of duilib/CMakeLists.txt (those that need the system's window and drawing
// libraries), so this file and the NULL backend compile on any system.  Its
// choice of display backend is the framework's one #ifdef on the OS outside
// the backends themselves.
#include <cstdlib>
#include <cstring>

#include "duilib/window_layer.h"

namespace DuiLib {
namespace {

using BackendMaker = std::unique_ptr<WindowBackend> (*)();

// Tried in this order; the first that finds a display shows the windows.
// Without one, windows run on the NULL backend; the program says what that
// means for it.  The system's own window layer is the display backend: a
// Windows build compiles the Win32 one, any other the GTK one.
const BackendMaker kDisplayBackends[] = {
#ifdef _WIN32
    makeWin32Backend,
#else
    makeGtkBackend,
#endif
};

bool nullNamedByEnvironment() {
    const char* choice = std::getenv("DUILIB_BACKEND");
    return choice && std::strcmp(choice, "null") == 0;
}

}  // namespace

std::unique_ptr<WindowBackend> makeWindowBackend(bool nullRequested) {
    if (!nullRequested && !nullNamedByEnvironment()) {
        for (BackendMaker make : kDisplayBackends) {
            if (std::unique_ptr<WindowBackend> backend = make()) {
                return backend;
            }
        }
    }
    return makeNullBackend();
}

}  // namespace DuiLib
