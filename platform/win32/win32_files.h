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

// The form of `path` every file call gets: absolute and behind "\\?\"
// ("\\?\UNC\" for a share), so that no 260-character limit applies and
// names reach the file system as they are.
std::wstring longPath(const std::string& path);

// Antivirus scanners and the search indexer open a freshly written file for
// a moment, and a rename or delete meets a sharing violation or "access
// denied" meanwhile.  Runs `operation` (a Windows call answering nonzero on
// success) again for up to kBusyWait while it fails so; the last error stays
// in GetLastError().  `path` names the file in the one diagnostic line.
constexpr DWORD kBusyWaitMs = 5000;
template <typename Operation>
BOOL retryWhileBusy(const std::string& path, Operation operation);
bool isBusyError(DWORD error);
// What a failed move amounts to.  Windows answers "access denied" both for a
// lack of rights and for a file another program holds open without delete
// sharing (a running program, a scanner): the latter is Busy.
IoError moveErrorOf(DWORD error, const std::wstring& from, const std::wstring& to);
void waitWhileBusy(const std::string& path, DWORD& waited);

template <typename Operation>
BOOL retryWhileBusy(const std::string& path, Operation operation) {
    DWORD waited = 0;
    for (;;) {
        if (operation()) {
            return TRUE;
        }
        DWORD error = GetLastError();
        if (!isBusyError(error) || waited >= kBusyWaitMs) {
            SetLastError(error);
            return FALSE;
        }
        waitWhileBusy(path, waited);
    }
}

}  // namespace platform::win32
