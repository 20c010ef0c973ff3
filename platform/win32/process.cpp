// Starting other programs with CreateProcessW: no shell ever parses the
// command line, and it is built (windowsCommandLine, platform/command_line.cpp)
// so that each argument reads back exactly as given.
#include <windows.h>
// After windows.h, which it relies on.
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_text.h"

namespace platform {
namespace {

// A name without a folder is searched the system's way (the program's
// folder, the system folders, PATH), ".exe" added when it has no extension.
std::wstring resolveProgram(const std::string& name) {
    std::wstring wide = win32::wide(name);
    if (name.find_first_of("\\/") != std::string::npos) {
        return wide;
    }
    std::wstring found(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD length = SearchPathW(nullptr, wide.c_str(), L".exe", static_cast<DWORD>(found.size()),
                                   &found[0], nullptr);
        if (length == 0) {
            return {};
        }
        if (length < found.size()) {
            found.resize(length);
            return found;
        }
        found.resize(length + 1);
    }
    return {};
}

// The new process gets no handles of ours and its own process group, so a
// Ctrl+C meant for the caller's console does not reach it.
bool createProcess(const std::wstring& application, std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

std::wstring windowsFolder() {
    wchar_t buffer[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryW(buffer, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(buffer, length);
}

}  // namespace

bool startDetached(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty() || argv[0].find('"') != std::string::npos) {
        return false;
    }
    for (const std::string& argument : argv) {
        if (win32::hasNul(argument)) {
            return false;
        }
    }
    std::wstring program = resolveProgram(argv[0]);
    return !program.empty() && createProcess(program, win32::wide(windowsCommandLine(argv)));
}

// explorer, from the Windows folder rather than whatever PATH finds first,
// with the quoted path as its argument: the way the product is meant to be
// started.  A path cannot hold a quote; one that does is refused rather than
// let it end the quoted argument.
bool launchFile(const std::string& path) {
    if (path.empty() || win32::hasNul(path) || path.find('"') != std::string::npos) {
        return false;
    }
    std::wstring folder = windowsFolder();
    if (folder.empty()) {
        return false;
    }
    return createProcess(folder + L"\\explorer.exe",
                         L"explorer \"" + win32::widePath(path) + L"\"");
}

bool openWithDefaultHandler(const std::string& target) {
    if (target.empty() || win32::hasNul(target)) {
        return false;
    }
    HINSTANCE result = ShellExecuteW(nullptr, L"open", win32::wide(target).c_str(), nullptr,
                                     nullptr, SW_SHOWNORMAL);
    // Values above 32 mean success; the handle is not a real instance.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace platform
