#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/platform.h"
#include "tests/support/test_env.h"

namespace testsupport {
namespace {

void redirect(const std::string& path, int fd) {
    if (path.empty()) {
        return;
    }
    int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file >= 0) {
        ::dup2(file, fd);
        ::close(file);
    }
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& stdoutPath,
                           const std::string& stderrPath) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        redirect(stdoutPath, 1);
        redirect(stderrPath, 2);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (running()) {
        kill(SIGKILL);
        wait(10);
    }
}

bool ChildProcess::running() {
    if (m_pid <= 0 || m_status >= 0) {
        return false;
    }
    int status = 0;
    pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) {
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return done == 0;
}

int ChildProcess::wait(double timeoutSeconds) {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return m_status;
}

void ChildProcess::kill(int signal) {
    if (m_pid > 0 && m_status < 0) {
        ::kill(m_pid, signal);
    }
}

std::string buildToolPath(const std::string& name) {
    return platform::programDir() + "/" + name;
}

ToolRun runTool(const std::vector<std::string>& argv, double timeoutSeconds) {
    static int runs = 0;
    std::string stem = "tool-run-" + std::to_string(++runs);
    ToolRun run;
    {
        ChildProcess tool(argv, stem + ".out", stem + ".err");
        run.exitCode = tool.wait(timeoutSeconds);
    }
    run.out = readFile(stem + ".out");
    run.err = readFile(stem + ".err");
    return run;
}

}  // namespace testsupport
