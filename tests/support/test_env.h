// Test isolation: each test's own HOME, XDG folders and registry below a fresh
// temporary folder, removed afterwards (Windows: the shell folders point there,
// the registry is the private Wine prefix's).  One per test, on its thread;
// the helpers block and never throw.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class TempEnvironment {
  public:
    TempEnvironment();
    ~TempEnvironment();
    TempEnvironment(const TempEnvironment&) = delete;
    TempEnvironment& operator=(const TempEnvironment&) = delete;

    // Local application data is gone until the test ends (POSIX: HOME and
    // XDG_STATE_HOME; Windows: its shell folder names no folder).
    void hideLocalAppData();

    std::string root;        // the temporary folder itself
    std::string home;        // $HOME (Windows: a user profile folder)
    std::string stateHome;   // $XDG_STATE_HOME (local application data)
    std::string dataHome;    // $XDG_DATA_HOME (roaming application data)
    std::string configHome;  // $XDG_CONFIG_HOME (Windows: empty)
    std::string desktop;     // $XDG_DESKTOP_DIR (Windows: the desktop folder)
    std::string registryDb;  // $HOBNAR_REGISTRY_DB (Windows: empty, no file)

  private:
    // The OS half: the folders with the settings naming them (POSIX: the
    // environment; Windows: shell folders); kUnset reads and writes "none".
    std::vector<std::pair<std::string, std::string>> userFolders();
    static std::string userSetting(const std::string& name);
    static void setUserSetting(const std::string& name, const std::string& value);
    static constexpr const char* kUnset = "\x01unset";
    std::vector<std::pair<std::string, std::string>> m_saved;
    std::string m_savedCwd;
};

// Sets or (with nullptr) removes an environment variable.
void setEnv(const char* name, const char* value);
// The system's proxy setting for the programs the test starts: HOST:PORT for
// every address, or for none of 127.0.0.1's when `bypassLoopback` (POSIX: the
// http_proxy and no_proxy variables; Windows: the user's Internet settings).
void setSystemProxy(const std::string& hostPort, bool bypassLoopback);
// Paths are UTF-8 on every system.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// `size` pseudo-random bytes (they do not compress), the same for a seed.
std::string randomBytes(std::size_t size, unsigned seed = 1);
// The file's content once it holds `text` (or anything), waiting `seconds` at most.
std::string awaitFile(const std::string& path, int seconds = 20, const std::string& text = "");
// A path or entry name written with "/", in this system's form.
std::string nativePath(std::string path);

class IsolatedTest : public ::testing::Test {  // a TempEnvironment for each test
  protected:
    TempEnvironment env;
};

}  // namespace testsupport
