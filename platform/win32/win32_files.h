// What the Windows file code shares between its files.  Internal to
// platform/win32/.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform::win32 {

// The IoError a Windows error code amounts to.
IoError ioErrorOf(DWORD error);

// Opens the file at `path` itself, never what a link there points to, and
// nothing but a file on a disk; INVALID_HANDLE_VALUE when it cannot.
HANDLE openNotFollowing(const std::string& path, DWORD disposition,
                        DWORD access = GENERIC_READ | GENERIC_WRITE);

FileHandle handleToFile(HANDLE handle);

}  // namespace platform::win32
