// The program's own arguments and console on Windows.
#include <windows.h>
// After windows.h, which it relies on.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/win32/win32_text.h"

namespace platform {

std::vector<std::string> programArguments(int, char**) {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.push_back(fromWide(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

namespace {

bool hasStandardHandle(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// The console is the caller's, shared with the prompt the program was
// started from: its code page goes back as it was when the program ends.
UINT g_callersCodePage = 0;

void restoreCallersCodePage() {
    if (g_callersCodePage != 0) {
        SetConsoleOutputCP(g_callersCodePage);
    }
}

}  // namespace

void useParentConsole() {
    // A GUI program has no console of its own.  Each standard handle a caller
    // redirected (`2>log` alone, say) is valid already and stays as it is;
    // only the others are joined to the caller's console.
    bool output = hasStandardHandle(STD_OUTPUT_HANDLE);
    bool errors = hasStandardHandle(STD_ERROR_HANDLE);
    if ((!output || !errors) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!output) {
            std::freopen("CONOUT$", "w", stdout);
        }
        if (!errors) {
            std::freopen("CONOUT$", "w", stderr);
        }
    }
    g_callersCodePage = GetConsoleOutputCP();
    if (g_callersCodePage != 0 && g_callersCodePage != CP_UTF8) {
        std::atexit(restoreCallersCodePage);
        SetConsoleOutputCP(CP_UTF8);
    }
}

}  // namespace platform
