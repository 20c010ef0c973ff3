// Child processes for tests: started from an argument vector (no shell),
// waited for or killed.  The OS-specific halves are child_process_posix.cpp
// and child_process_win32.cpp.
//
// Under Wine a Windows test can also run programs of the build machine
// (hobnar-backend, rar): a program that is not a Windows program is started
// through hobnar-host-run (host_run.cpp), which follows it for the test.
// Paths handed to such a program as arguments must be hostPath()s.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// SIGKILL's number, usable on Windows too: kill() with it ends a Windows
// child with the exit status 128 + 9, as a killed POSIX child reports.
constexpr int kKillSignal = 9;

class ChildProcess {
  public:
    // Starts argv[0] (searched on PATH) with the given arguments; the child
    // inherits the environment.  stdoutPath/stderrPath redirect output when set.
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& stdoutPath = "",
                          const std::string& stderrPath = "");
    ~ChildProcess();  // kills the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_child != nullptr; }
    // Exit code, 128 + signal for a killed child, or -1 on a time-out.
    int wait(double timeoutSeconds = 60);
    void kill(int signal);
    bool running();

  private:
    struct Child;  // what the OS needs to follow the child
    std::unique_ptr<Child> m_child;
    int m_status = -1;
};

// Path of a test executable or tool of this build (".exe" added on Windows).
std::string buildToolPath(const std::string& name);

// A path as a program of the build machine sees it: under Wine the Windows
// path mapped through Wine's drives; elsewhere the path itself.
std::string hostPath(const std::string& path);

// A short program run to its end: exit code (-1 after a time-out) and its
// output, kept in files of the current folder.
struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};
ToolRun runTool(const std::vector<std::string>& argv, double timeoutSeconds = 30);

}  // namespace testsupport
