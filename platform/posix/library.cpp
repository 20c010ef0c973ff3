// Shared libraries loaded by name at run time.
#include <dlfcn.h>

#include "platform/platform.h"

namespace platform {

// The dynamic loader takes no library from the working folder.
void restrictLibrarySearch() {}

void* loadLibrary(const std::string& name) {
    if (name.empty()) {
        return nullptr;
    }
    return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* librarySymbol(void* library, const std::string& symbol) {
    if (library == nullptr) {
        return nullptr;
    }
    return ::dlsym(library, symbol.c_str());
}

}  // namespace platform

namespace platform {

std::string unrarLibraryName() {
    return "libunrar.so.5";
}

}  // namespace platform
