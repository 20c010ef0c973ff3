// TempEnvironment on Windows.  Each test runs in a private Wine prefix
// (scripts/wine-test-run.sh), so its registry is its own already; within it
// the user's shell folders (HKCU ...\Explorer\User Shell Folders, which
// SHGetFolderPathW reads) are pointed into a fresh temporary folder, as HOME
// and the XDG variables are on POSIX.
#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "platform/platform.h"
#include "tests/support/test_env.h"

namespace testsupport {
namespace {

const wchar_t* const kShellFolders =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char* const kUnset = "\x01unset";

std::string temporaryFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    std::string folder = platform::fromWide(std::wstring(buffer, length));
    while (!folder.empty() && folder.back() == '\\') {
        folder.pop_back();
    }
    return folder;
}

std::string readShellFolder(const std::string& name) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, kShellFolders, platform::toWide(name).c_str(),
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer,
                     &size) != ERROR_SUCCESS) {
        return kUnset;
    }
    return platform::fromWide(buffer);
}

// Written as an expandable string, the type the shell's own entries have.
void writeShellFolder(const std::string& name, const std::string& folder) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open the user's shell folders";
        return;
    }
    std::wstring wideName = platform::toWide(name);
    if (folder == kUnset) {
        RegDeleteValueW(key, wideName.c_str());
    } else {
        std::wstring value = platform::toWide(folder);
        RegSetValueExW(key, wideName.c_str(), 0, REG_EXPAND_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

void makeFolders(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::u8path(folder), error);
    if (error) {
        ADD_FAILURE() << "cannot make " << folder;
    }
}

}  // namespace

void setEnv(const char* name, const char* value) {
    // An empty value removes the variable from the C runtime's copy.
    _putenv_s(name, value ? value : "");
}

TempEnvironment::TempEnvironment()
    : root(platform::makeFreshFolder(temporaryFolder(), "hobnar-test-")) {
    wchar_t cwd[MAX_PATH] = {};
    DWORD length = GetCurrentDirectoryW(MAX_PATH, cwd);
    m_savedCwd = platform::fromWide(std::wstring(cwd, length));
    home = root + "\\home";
    stateHome = home + "\\AppData\\Local";
    dataHome = home + "\\AppData\\Roaming";
    configHome = home + "\\AppData\\Config";
    // A name that only UTF-16 can carry to the system, as a Chinese user's
    // folders have; every test that reaches the desktop crosses the seam.
    desktop = home + "\\桌面";
    for (const std::string& folder : {stateHome, dataHome, configHome, desktop}) {
        makeFolders(folder);
    }
    const std::pair<const char*, const std::string*> redirected[] = {
        {"Local AppData", &stateHome}, {"AppData", &dataHome}, {"Desktop", &desktop}};
    for (const auto& [name, folder] : redirected) {
        m_saved.emplace_back(name, readShellFolder(name));
        writeShellFolder(name, *folder);
    }
    // Relative paths a test might write land in the temporary folder too.
    if (!SetCurrentDirectoryW(platform::toWide(root).c_str())) {
        ADD_FAILURE() << "cannot enter " << root;
    }
}

TempEnvironment::~TempEnvironment() {
    for (const auto& [name, value] : m_saved) {
        writeShellFolder(name, value);
    }
    if (!SetCurrentDirectoryW(platform::toWide(m_savedCwd).c_str())) {
        ADD_FAILURE() << "cannot return to " << m_savedCwd;
    }
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::u8path(root), ignored);
}

// The shell reports a folder that does not exist as unavailable.
void TempEnvironment::hideLocalAppData() {
    writeShellFolder("Local AppData", root + "\\no-local-app-data");
}

// A volatile link to a key under a root that does not exist: opening or
// creating the key fails from then on.  Being volatile, it goes with the
// prefix's registry server; the link is not removed afterwards.
void TempEnvironment::breakRegistry(const std::string& key) {
    std::wstring wideKey = platform::toWide(key);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, wideKey.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, wideKey.c_str());
    HKEY link = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, wideKey.c_str(), 0, nullptr,
                        REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK,
                        KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link,
                        nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot replace " << key << " by a link";
        return;
    }
    const std::wstring target = L"\\Registry\\Nowhere\\" + wideKey;
    RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                   reinterpret_cast<const BYTE*>(target.c_str()),
                   static_cast<DWORD>(target.size() * sizeof(wchar_t)));
    RegCloseKey(link);
}

}  // namespace testsupport
