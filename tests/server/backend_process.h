// A real hobnar-backend child process for the tests: started on a free port
// in the test's temporary folder, with a package file made of random bytes.
#pragma once

#include <httplib.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace servertest {

constexpr const char* kPackageRoute = "/client/win/mainprogram/win-ia32-unpacked.rar";

// Writes `size` random bytes to `path` and returns them.
std::string makePackage(const std::string& path, size_t size);

// Runs hobnar-backend with `args` and waits for it to exit; its standard
// output and error are captured.
struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
CommandResult runBackend(const std::vector<std::string>& args);

class BackendProcess {
  public:
    // Adds --port 0 and --db events.db (in the current folder) to `args`
    // and waits until the server prints its listening line.
    explicit BackendProcess(const std::vector<std::string>& args);

    bool listening() const { return port > 0; }
    httplib::Client client() const;
    std::string url(const std::string& path) const;
    std::string stderrText() const;
    testsupport::ChildProcess& process() { return *m_child; }

    int port = 0;

  private:
    std::unique_ptr<testsupport::ChildProcess> m_child;
    std::string m_stdoutPath;
    std::string m_stderrPath;
};

}  // namespace servertest
