// The UnRAR library's own header from the source unrar.dll is built from.
#include <windows.h>
// After windows.h, which it relies on.
#include "dll.hpp"
