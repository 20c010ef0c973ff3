// Child processes for tests: started from an argument vector (no shell),
// waited for or killed.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
  public:
    // Starts argv[0] (searched on PATH) with the given arguments; the child
    // inherits the environment.  stdoutPath/stderrPath redirect output when set.
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& stdoutPath = "",
                          const std::string& stderrPath = "");
    ~ChildProcess();  // kills the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_pid > 0; }
    int pid() const { return m_pid; }
    // Exit code, 128 + signal for a killed child, or -1 on a time-out.
    int wait(double timeoutSeconds = 60);
    void kill(int signal);
    bool running();

  private:
    int m_pid = -1;
    int m_status = -1;
};

// Folder holding the test executables and tools of this build.
std::string buildToolPath(const std::string& name);

// A short program run to its end: exit code (-1 after a time-out) and its
// output, kept in files of the current folder.
struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};
ToolRun runTool(const std::vector<std::string>& argv, double timeoutSeconds = 30);

}  // namespace testsupport
