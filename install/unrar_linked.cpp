// The UnRAR library linked into the program (built from Debian's source with
// its DLL interface, cmake/Win32Dependencies.cmake): nothing to find or load
// at run time, nothing anyone could put in its place.
#include "install/unrar_api.h"

extern "C" {
void* PLATFORM_LIBRARY_CALL RAROpenArchiveEx(unrar::OpenArchiveDataEx* data);
int PLATFORM_LIBRARY_CALL RARCloseArchive(void* archive);
int PLATFORM_LIBRARY_CALL RARReadHeaderEx(void* archive, unrar::HeaderDataEx* header);
int PLATFORM_LIBRARY_CALL RARProcessFileW(void* archive, int operation, wchar_t* destPath,
                                          wchar_t* destName);
}

namespace unrar {

Library loadLibrary() {
    return Library{RAROpenArchiveEx, RARCloseArchive, RARReadHeaderEx, RARProcessFileW};
}

}  // namespace unrar
