#include "tests/ui/unrar_library.h"

namespace uitest {

// unrar.dll sits beside every test program of the build and is shared by
// the tests running at the same time; it is not taken away from them.
bool hideUnrarLibrary(const std::string&) {
    return false;
}

bool restoreUnrarLibrary() {
    return false;
}

}  // namespace uitest
