// ChildProcess on Windows.  A Windows program runs through CreateProcessW
// and is followed through its process handle.  Under Wine, any other program
// is taken for one of the build machine (hobnar-backend, rar): Wine starts
// those but gives no handle, so hobnar-host-run (host_run.cpp) starts it
// instead and reports through files in a private folder.
#include <windows.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/platform.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

namespace testsupport {

struct ChildProcess::Child {
    HANDLE process = nullptr;  // a Windows program
    std::string hostFolder;    // a build-machine program: its report files live here
    std::string hostState;     // ... named by this prefix
};

namespace {

// Wine's own exports for mapping paths between its drives and the build
// machine; absent on a real Windows.
using UnixNameOf = char*(__cdecl*)(const wchar_t*);
using DosNameOf = wchar_t*(__cdecl*)(const char*);

template <typename Function>
Function wineExport(const char* name) {
    FARPROC address = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
    Function function = nullptr;
    static_assert(sizeof function == sizeof address, "function pointers differ in size");
    std::memcpy(&function, &address, sizeof function);
    return function;
}

std::string dosPath(const std::string& unixPath) {
    DosNameOf dosNameOf = wineExport<DosNameOf>("wine_get_dos_file_name");
    wchar_t* name = dosNameOf ? dosNameOf(unixPath.c_str()) : nullptr;
    if (name == nullptr) {
        return unixPath;
    }
    std::string converted = platform::fromWide(name);
    HeapFree(GetProcessHeap(), 0, name);
    return converted;
}

// True (and its path) when argv[0] names a Windows program: a file found the
// system's way that starts with the "MZ" of an executable image.
bool findWindowsProgram(const std::string& name, std::wstring& program) {
    wchar_t found[MAX_PATH] = {};
    DWORD length =
        SearchPathW(nullptr, platform::toWide(name).c_str(), L".exe", MAX_PATH, found, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    program.assign(found, length);
    return readFile(platform::fromWide(program)).compare(0, 2, "MZ") == 0;
}

HANDLE inheritableFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(platform::toWide(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts a Windows program with its standard input from NUL and its output
// in the given files (or the test's own).
HANDLE startWindowsProgram(const std::wstring& program, const std::vector<std::string>& argv,
                           const std::string& stdoutPath, const std::string& stderrPath) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = stdoutPath.empty()
                             ? GetStdHandle(STD_OUTPUT_HANDLE)
                             : inheritableFile(stdoutPath, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = stderrPath.empty()
                            ? GetStdHandle(STD_ERROR_HANDLE)
                            : inheritableFile(stderrPath, GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring commandLine = platform::toWide(platform::windowsCommandLine(argv));
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0,
                                  nullptr, nullptr, &startup, &process);
    CloseHandle(startup.hStdInput);
    if (!stdoutPath.empty()) {
        CloseHandle(startup.hStdOutput);
    }
    if (!stderrPath.empty()) {
        CloseHandle(startup.hStdError);
    }
    if (!started) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

std::string hostPathOrEmpty(const std::string& path) {
    return path.empty() ? std::string() : hostPath(path);
}

// hobnar-host-run STATE OUT ERR PROGRAM ARGS...; Wine hands back no handle,
// so only whether it could be started is known here.
bool startHostProgram(const std::vector<std::string>& argv, const std::string& stdoutPath,
                      const std::string& stderrPath, const std::string& state) {
    std::vector<std::string> helperArgv = {dosPath(HOBNAR_HOST_RUN_PROGRAM), hostPath(state),
                                           hostPathOrEmpty(stdoutPath),
                                           hostPathOrEmpty(stderrPath)};
    helperArgv.insert(helperArgv.end(), argv.begin(), argv.end());
    return platform::startDetached(helperArgv);
}

std::string temporaryFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    std::string folder = platform::fromWide(std::wstring(buffer, length));
    while (!folder.empty() && folder.back() == '\\') {
        folder.pop_back();
    }
    return folder;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& stdoutPath,
                           const std::string& stderrPath) {
    if (argv.empty()) {
        return;
    }
    auto child = std::make_unique<Child>();
    std::wstring program;
    if (findWindowsProgram(argv[0], program)) {
        child->process = startWindowsProgram(program, argv, stdoutPath, stderrPath);
        if (child->process != nullptr) {
            m_child = std::move(child);
        }
        return;
    }
    child->hostFolder = platform::makeFreshFolder(temporaryFolder(), "hobnar-host-");
    child->hostState = child->hostFolder + "\\child";
    if (!child->hostFolder.empty() &&
        startHostProgram(argv, stdoutPath, stderrPath, child->hostState)) {
        m_child = std::move(child);
    }
}

ChildProcess::~ChildProcess() {
    if (running()) {
        kill(kKillSignal);
        wait(10);
    }
    if (m_child && !m_child->hostFolder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::u8path(m_child->hostFolder), ignored);
    }
    if (m_child && m_child->process != nullptr) {
        CloseHandle(m_child->process);
    }
}

bool ChildProcess::running() {
    if (!m_child || m_status >= 0) {
        return false;
    }
    if (m_child->process != nullptr) {
        if (WaitForSingleObject(m_child->process, 0) != WAIT_OBJECT_0) {
            return true;
        }
        DWORD code = 0;
        GetExitCodeProcess(m_child->process, &code);
        m_status = static_cast<int>(code);
        return false;
    }
    std::string exitReport = readFile(m_child->hostState + ".exit");
    if (exitReport.empty()) {
        return true;
    }
    m_status = std::stoi(exitReport);
    return false;
}

int ChildProcess::wait(double timeoutSeconds) {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return m_status;
}

// A Windows child ends with 128 + signal, as a killed POSIX child reports; a
// build-machine child gets the signal itself through its helper.
void ChildProcess::kill(int signal) {
    if (!m_child || m_status >= 0) {
        return;
    }
    if (m_child->process != nullptr) {
        TerminateProcess(m_child->process, static_cast<UINT>(128 + signal));
        return;
    }
    std::string request = m_child->hostState + ".kill";
    writeFile(request + ".tmp", std::to_string(signal) + "\n");
    MoveFileExW(platform::toWide(request + ".tmp").c_str(), platform::toWide(request).c_str(),
                MOVEFILE_REPLACE_EXISTING);
}

std::string buildToolPath(const std::string& name) {
    return platform::programDir() + "\\" + name + ".exe";
}

std::string hostPath(const std::string& path) {
    UnixNameOf unixNameOf = wineExport<UnixNameOf>("wine_get_unix_file_name");
    if (unixNameOf == nullptr || path.empty()) {
        return path;
    }
    wchar_t full[MAX_PATH] = {};
    DWORD length = GetFullPathNameW(platform::toWide(path).c_str(), MAX_PATH, full, nullptr);
    char* name = length > 0 && length < MAX_PATH ? unixNameOf(full) : nullptr;
    if (name == nullptr) {
        return path;
    }
    std::string converted = name;
    HeapFree(GetProcessHeap(), 0, name);
    return converted;
}

}  // namespace testsupport
