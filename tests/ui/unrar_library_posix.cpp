#include <sched.h>
#include <sys/mount.h>

#include <fstream>

#include "tests/ui/unrar_library.h"

namespace uitest {

constexpr const char* kLibrary = "/usr/lib/x86_64-linux-gnu/libunrar.so.5";

// An empty file mounted over the library in a mount namespace of this
// process alone: loading it fails as for a library that is not installed.
bool hideUnrarLibrary(const std::string& scratchFolder) {
    std::string empty = scratchFolder + "/empty";
    std::ofstream(empty).flush();
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount(empty.c_str(), kLibrary, nullptr, MS_BIND, nullptr) == 0;
}

bool restoreUnrarLibrary() {
    return ::umount2(kLibrary, MNT_DETACH) == 0;
}

}  // namespace uitest
