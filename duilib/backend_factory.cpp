// The backend factory: the one place that lists the backends.  A display
// backend is added here with one line; its sources go into the display list
// of duilib/CMakeLists.txt (those that need the system's window and drawing
// libraries), so this file and the NULL backend compile on any system.
#include <cstdlib>
#include <cstring>

#include "duilib/window_layer.h"

namespace DuiLib {
namespace {

using BackendMaker = std::unique_ptr<WindowBackend> (*)();

// Tried in this order; the first that finds a display shows the windows.
// Without one, windows run on the NULL backend; the program says what that
// means for it.
const BackendMaker kDisplayBackends[] = {
    makeGtkBackend,
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
