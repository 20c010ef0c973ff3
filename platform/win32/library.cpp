// Libraries loaded by file name at run time.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_text.h"

namespace platform {

// The usual search order applies: the program's own folder first, which is
// where unrar.dll ships.
void* loadLibrary(const std::string& name) {
    if (name.empty() || win32::hasNul(name)) {
        return nullptr;
    }
    return reinterpret_cast<void*>(LoadLibraryW(win32::wide(name).c_str()));
}

std::string unrarLibraryName() {
    return "unrar.dll";
}

void* librarySymbol(void* library, const std::string& symbol) {
    if (library == nullptr || win32::hasNul(symbol)) {
        return nullptr;
    }
    FARPROC address = GetProcAddress(static_cast<HMODULE>(library), symbol.c_str());
    // A function address handed on as the untyped pointer of the interface;
    // the caller casts it back to the function's own type.
    void* untyped = nullptr;
    static_assert(sizeof untyped == sizeof address, "function and data pointers differ in size");
    std::memcpy(&untyped, &address, sizeof untyped);
    return untyped;
}

}  // namespace platform
