// Child processes for tests, from an argument vector (no shell), waited for
// or killed, each on one thread.  Under Wine the build machine's programs
// (hobnar-backend, rar) run so too; paths given to them must be hostPath()s.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// SIGKILL's number, usable on Windows too: a killed child reports 128 + it.
constexpr int kKillSignal = 9;

class ChildProcess {
  public:
    // argv[0] is searched on PATH; output goes to the files when named.
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& stdoutPath = "",
                          const std::string& stderrPath = "");
    ~ChildProcess();  // kills the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Exit code, 128 + signal for a killed child, or -1 on a time-out.
    int wait(double timeoutSeconds = 60);
    void kill(int signal);
    bool running();

  private:
    struct Child;      // the OS half's, deleted the OS half's way
    int exitStatus();  // the OS half of running(): -1 while the child runs
    std::shared_ptr<Child> m_child;
    int m_status = -1;
};

// Path of a test program of this build (".exe" added on Windows).
std::string buildToolPath(const std::string& name);
// A path as the build machine's programs see it (through Wine's drives).
std::string hostPath(const std::string& path);

// A short program run to its end: exit code (-1 after a time-out) and output.
struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};
ToolRun runTool(const std::vector<std::string>& argv, double timeoutSeconds = 30);

}  // namespace testsupport
