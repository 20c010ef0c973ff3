// The program's own arguments and console on Windows.
#include <windows.h>
// After windows.h, which it relies on.
#include <shellapi.h>

#include <cstdio>

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

void useParentConsole() {
    // A GUI program has no console of its own; standard handles that a
    // caller redirected are valid already and stay as they are.
    bool redirected = GetStdHandle(STD_OUTPUT_HANDLE) != nullptr &&
                      GetStdHandle(STD_OUTPUT_HANDLE) != INVALID_HANDLE_VALUE;
    if (!redirected && AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
    SetConsoleOutputCP(CP_UTF8);
}

}  // namespace platform
