// TempEnvironment on POSIX: HOME, the XDG variables and the registry file
// point into a fresh temporary folder.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/test_env.h"

namespace testsupport {
namespace {

const char* const kIsolatedVariables[] = {"HOME",
                                          "XDG_STATE_HOME",
                                          "XDG_DATA_HOME",
                                          "XDG_CONFIG_HOME",
                                          "XDG_DESKTOP_DIR",
                                          "HOBNAR_REGISTRY_DB"};

std::string makeTempRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "hobnar-test-XXXXXX").string();
    char* made = ::mkdtemp(&pattern[0]);
    return made ? std::string(made) : std::string();
}

}  // namespace

void setEnv(const char* name, const char* value) {
    if (value) {
        ::setenv(name, value, 1);
    } else {
        ::unsetenv(name);
    }
}

TempEnvironment::TempEnvironment() : root(makeTempRoot()) {
    for (const char* name : kIsolatedVariables) {
        const char* old = ::getenv(name);
        m_saved.emplace_back(name, old ? std::string(old) : std::string("\x01unset"));
    }
    char cwd[4096];
    m_savedCwd = ::getcwd(cwd, sizeof cwd) ? cwd : "/";
    home = root + "/home";
    stateHome = home + "/.local/state";
    dataHome = home + "/.local/share";
    configHome = home + "/.config";
    desktop = home + "/Desktop";
    registryDb = root + "/registry.db";
    for (const std::string& dir : {home, stateHome, dataHome, configHome, desktop}) {
        std::filesystem::create_directories(dir);
    }
    setEnv("HOME", home.c_str());
    setEnv("XDG_STATE_HOME", stateHome.c_str());
    setEnv("XDG_DATA_HOME", dataHome.c_str());
    setEnv("XDG_CONFIG_HOME", configHome.c_str());
    setEnv("XDG_DESKTOP_DIR", desktop.c_str());
    setEnv("HOBNAR_REGISTRY_DB", registryDb.c_str());
    // Relative paths a test might write land in the temporary folder too.
    if (::chdir(root.c_str()) != 0) {
        ADD_FAILURE() << "cannot enter " << root;
    }
}

TempEnvironment::~TempEnvironment() {
    for (const auto& [name, value] : m_saved) {
        setEnv(name.c_str(), value == "\x01unset" ? nullptr : value.c_str());
    }
    if (::chdir(m_savedCwd.c_str()) != 0) {
        ADD_FAILURE() << "cannot return to " << m_savedCwd;
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

void TempEnvironment::hideLocalAppData() {
    setEnv("HOME", nullptr);
    setEnv("XDG_STATE_HOME", nullptr);
}

void TempEnvironment::breakRegistry(const std::string&) {
    setEnv("HOBNAR_REGISTRY_DB", "/proc/no-such-place/registry.db");
}

}  // namespace testsupport
