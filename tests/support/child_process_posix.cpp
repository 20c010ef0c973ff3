// ChildProcess on POSIX: fork and exec, waitpid and kill.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/platform.h"
#include "tests/support/child_process.h"

namespace testsupport {

struct ChildProcess::Child {
    pid_t pid = -1;
};

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
    pid_t pid = ::fork();
    if (pid == 0) {
        redirect(stdoutPath, 1);
        redirect(stderrPath, 2);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    if (pid > 0) {
        m_child = std::make_unique<Child>();
        m_child->pid = pid;
    }
}

ChildProcess::~ChildProcess() {
    if (running()) {
        kill(SIGKILL);
        wait(10);
    }
}

bool ChildProcess::running() {
    if (!m_child || m_status >= 0) {
        return false;
    }
    int status = 0;
    pid_t done = ::waitpid(m_child->pid, &status, WNOHANG);
    if (done == m_child->pid) {
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
    if (m_child && m_status < 0) {
        ::kill(m_child->pid, signal);
    }
}

std::string buildToolPath(const std::string& name) {
    return platform::programDir() + "/" + name;
}

std::string hostPath(const std::string& path) {
    return path;
}

}  // namespace testsupport
