// The UnRAR library loaded by name at run time: the system's libunrar, which
// may be installed after the program (a missing library is no build error,
// and the run says so).
#include <cstring>

#include "install/unrar_api.h"
#include "platform/platform.h"

namespace unrar {
namespace {

template <typename Function>
bool resolve(void* library, const char* name, Function& function) {
    void* address = platform::librarySymbol(library, name);
    if (address == nullptr) {
        return false;
    }
    std::memcpy(&function, &address, sizeof function);
    return true;
}

}  // namespace

Library loadLibrary() {
    Library api;
    void* library = platform::loadLibrary(platform::unrarLibraryName());
    if (library == nullptr || !resolve(library, "RAROpenArchiveEx", api.openArchive) ||
        !resolve(library, "RARCloseArchive", api.closeArchive) ||
        !resolve(library, "RARReadHeaderEx", api.readHeader) ||
        !resolve(library, "RARProcessFileW", api.processFile)) {
        return Library{};
    }
    return api;
}

}  // namespace unrar
