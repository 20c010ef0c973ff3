// The support code's Windows half, under Wine: each test has a private prefix
// (scripts/wine-test-run.sh) whose shell folders point into its temporary
// folder.  Wine gives no handle for a build-machine program, so each child
// runs under hobnar-host-run (host_run.cpp), a Windows one through `wine` in
// the same prefix; exit codes are the build machine's (128 + signal if killed).
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace testsupport {
namespace {

const wchar_t* const kShellFolders =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// The Windows program argv[0] names (found the system's way, an "MZ" image), or "".
std::string windowsProgram(const std::string& name) {
    wchar_t found[MAX_PATH] = {};
    DWORD length =
        SearchPathW(nullptr, platform::toWide(name).c_str(), L".exe", MAX_PATH, found, nullptr);
    std::string program = platform::fromWide(std::wstring(found, length < MAX_PATH ? length : 0));
    return readFile(program).compare(0, 2, "MZ") == 0 ? program : std::string();
}

}  // namespace

void setEnv(const char* name, const char* value) {
    _putenv_s(name, value ? value : "");
}

// The binary form Windows' settings page writes (and Wine reads), its
// numbers little-endian as this machine's: version, counter, flags (1 direct,
// 2 proxy), then the proxy, the bypass list and the PAC address, each a
// length and its bytes.  "<-loopback>" proxies loopback
// addresses too, which Windows otherwise never sends to a proxy.
void setSystemProxy(const std::string& hostPort, bool bypassLoopback) {
    std::string bypass = bypassLoopback ? "<local>" : "<-loopback>";
    std::vector<std::uint32_t> words = {0x46, 1, 3, static_cast<std::uint32_t>(hostPort.size())};
    std::string value(reinterpret_cast<const char*>(words.data()), 16);
    value += hostPort;
    words = {static_cast<std::uint32_t>(bypass.size())};
    value += std::string(reinterpret_cast<const char*>(words.data()), 4) + bypass;
    value += std::string(36, '\0');  // no PAC address, and what Windows leaves after it
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                              L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
                              L"Settings\\Connections",
                              0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, L"DefaultConnectionSettings", 0, REG_BINARY,
                             reinterpret_cast<const BYTE*>(value.data()),
                             static_cast<DWORD>(value.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::vector<std::pair<std::string, std::string>> TempEnvironment::userFolders() {
    home = root + "\\home";
    stateHome = home + "\\AppData\\Local";
    dataHome = home + "\\AppData\\Roaming";
    // A name only UTF-16 carries, as a Chinese user's has: tests cross the seam.
    desktop = home + "\\桌面";
    return {{"Local AppData", stateHome}, {"AppData", dataHome}, {"Desktop", desktop}};
}

std::string TempEnvironment::userSetting(const std::string& name) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    return RegGetValueW(HKEY_CURRENT_USER, kShellFolders, platform::toWide(name).c_str(),
                        RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer,
                        &size) == ERROR_SUCCESS
               ? platform::fromWide(buffer)
               : kUnset;
}

// Written as an expandable string, the type the shell's own entries have.
void TempEnvironment::setUserSetting(const std::string& name, const std::string& value) {
    std::wstring wideName = platform::toWide(name), text = platform::toWide(value);
    if (value == kUnset) {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kShellFolders, wideName.c_str());
    } else {
        RegSetKeyValueW(HKEY_CURRENT_USER, kShellFolders, wideName.c_str(), REG_EXPAND_SZ,
                        text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
}

// The shell reports a folder that does not exist as unavailable.
void TempEnvironment::hideLocalAppData() {
    setUserSetting("Local AppData", root + "\\no-local-app-data");
}

struct ChildProcess::Child {
    std::string state;  // the helper's report files STATE.exit and STATE.kill
};

// hobnar-host-run STATE OUT ERR PROGRAM ARGS..., its files in the current folder.
ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& stdoutPath,
                           const std::string& stderrPath) {
    static int children = 0;
    if (argv.empty()) {
        return;
    }
    m_child.reset(new Child{"host-run-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(++children)});
    std::vector<std::string> helper = {HOBNAR_HOST_RUN_PROGRAM, hostPath(m_child->state),
                                       stdoutPath.empty() ? "" : hostPath(stdoutPath),
                                       stderrPath.empty() ? "" : hostPath(stderrPath)};
    std::string program = windowsProgram(argv[0]);
    if (!program.empty()) {
        helper.insert(helper.end(), {"wine", program});
    }
    helper.insert(helper.end(), argv.begin() + (program.empty() ? 0 : 1), argv.end());
    if (!platform::startDetached(helper)) {
        m_child.reset();
    }
}

int ChildProcess::exitStatus() {
    std::string exitReport = readFile(m_child->state + ".exit");
    return exitReport.empty() ? -1 : std::atoi(exitReport.c_str());
}

// A few bytes in one write: the helper never reads half of them.
void ChildProcess::kill(int signal) {
    if (m_child && m_status < 0) {
        writeFile(m_child->state + ".kill", std::to_string(signal) + "\n");
    }
}

std::string buildToolPath(const std::string& name) {
    return platform::programDir() + "\\" + name + ".exe";
}

// Through Wine's own export for it, which answers on the process heap.
std::string hostPath(const std::string& path) {
    using UnixNameOf = char*(__cdecl*)(const wchar_t*);
    FARPROC address = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    UnixNameOf unixNameOf = nullptr;
    static_assert(sizeof unixNameOf == sizeof address, "function pointers differ in size");
    std::memcpy(&unixNameOf, &address, sizeof unixNameOf);
    char* mapped =
        unixNameOf && !path.empty() ? unixNameOf(platform::toWide(path).c_str()) : nullptr;
    std::string unixPath = mapped ? mapped : path;
    HeapFree(GetProcessHeap(), 0, mapped);
    return unixPath;
}

// The programs tests install are one Windows program of this build
// (recording_product.cpp), copied from beside the test.
std::vector<std::pair<std::string, std::string>> recordingProduct() {
    std::string product = readFile(buildToolPath("recording_product"));
    return {{"hobnarAudio.exe", product}, {"unInstall.exe", product}};
}

bool installPathRecorder(const std::string& path) {
    std::string program = readFile(buildToolPath("recording_product"));
    writeFile(path, program);
    writeFile(path.substr(0, path.find_last_of("\\/")) + "\\record-path", "");
    return !program.empty() && readFile(path) == program;
}

}  // namespace testsupport
