// Test isolation: every test gets its own HOME, XDG folders and registry
// file below a fresh temporary folder, removed again afterwards.
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

    std::string root;        // the temporary folder itself
    std::string home;        // $HOME
    std::string stateHome;   // $XDG_STATE_HOME (local application data)
    std::string dataHome;    // $XDG_DATA_HOME (roaming application data)
    std::string configHome;  // $XDG_CONFIG_HOME
    std::string desktop;     // $XDG_DESKTOP_DIR
    std::string registryDb;  // $HOBNAR_REGISTRY_DB

  private:
    std::vector<std::pair<std::string, std::string>> m_saved;
    std::string m_savedCwd;
};

// Sets or (with nullptr) removes an environment variable.
void setEnv(const char* name, const char* value);

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
