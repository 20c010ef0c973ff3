// Libraries loaded by file name at run time.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_text.h"

namespace platform {

void restrictLibrarySearch() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// By its full path beside the program (where unrar.dll ships), never found
// in the working folder or on PATH; what it imports (POWRPROF among them)
// comes from System32, not from beside it.
void* loadLibrary(const std::string& name) {
    std::string folder = programDir();
    if (name.empty() || folder.empty() || win32::hasNul(name)) {
        return nullptr;
    }
    std::wstring path = win32::widePath(folder + kPathSep + name);
    return reinterpret_cast<void*>(
        LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
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
