// Test isolation: every test gets its own HOME, XDG folders and registry
// file below a fresh temporary folder, removed again afterwards.  On Windows
// the same folders stand in for the user's shell folders (local and roaming
// application data, desktop), and the registry is the real one of the test's
// private Wine prefix.  The OS-specific halves are test_env_posix.cpp and
// test_env_win32.cpp.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

class TempEnvironment {
  public:
    TempEnvironment();
    ~TempEnvironment();
    TempEnvironment(const TempEnvironment&) = delete;
    TempEnvironment& operator=(const TempEnvironment&) = delete;

    // The local application-data folder becomes unavailable to the platform
    // layer until the end of the test (POSIX: no HOME and no XDG_STATE_HOME;
    // Windows: the shell folder points to a folder that does not exist).
    void hideLocalAppData();
    // Writes of values under `key` fail from now on (POSIX: the store file
    // lies where none can be made; Windows: the key becomes a registry link
    // into nowhere, and its values are gone).
    void breakRegistry(const std::string& key);

    std::string root;        // the temporary folder itself
    std::string home;        // $HOME (Windows: a user profile folder)
    std::string stateHome;   // $XDG_STATE_HOME (local application data)
    std::string dataHome;    // $XDG_DATA_HOME (roaming application data)
    std::string configHome;  // $XDG_CONFIG_HOME
    std::string desktop;     // $XDG_DESKTOP_DIR (Windows: the desktop folder)
    std::string registryDb;  // $HOBNAR_REGISTRY_DB (Windows: empty, no file)

  private:
    std::vector<std::pair<std::string, std::string>> m_saved;
    std::string m_savedCwd;
};

// Sets or (with nullptr) removes an environment variable.
void setEnv(const char* name, const char* value);

// Paths are UTF-8 on every system.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// `size` pseudo-random bytes (they do not compress), the same for a seed.
std::string randomBytes(std::size_t size, unsigned seed = 1);

// Fixture base: a TempEnvironment for each test.
class IsolatedTest : public ::testing::Test {
  protected:
    TempEnvironment env;
};

}  // namespace testsupport
