// hobnar-host-run: how the Windows build's tests, running under Wine, start a
// program of the build machine (hobnar-backend, rar) and follow it.
//
// Wine's CreateProcessW does start a Linux program given its path, but hands
// back no process handle: the caller cannot wait for it, read its exit
// status, kill it or redirect its output.  This helper, itself started that
// way, does those things and reports through files:
//
//   hobnar-host-run STATE OUT ERR PROGRAM [ARGS...]
//
// runs PROGRAM (searched on the build machine's PATH) with stdin from
// /dev/null and stdout/stderr written to OUT/ERR (an empty name keeps them),
// writes its pid to STATE.pid, kills it with the signal written into
// STATE.kill when that file appears, and finally writes its exit status
// (128 + signal for a killed one, 127 when it could not be started) to
// STATE.exit, all paths of the build machine.  The child leads a process
// group of its own, recorded in $HOBNAR_HOST_PIDS (when set) so that the
// test's Wine wrapper can end whatever a crashed test left running.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Written under a temporary name and renamed, so a reader never sees half.
void writeFileAtomically(const std::string& path, const std::string& text) {
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text << "\n";
    }
    std::rename(temporary.c_str(), path.c_str());
}

void redirect(const std::string& path, int fd, int flags) {
    if (path.empty()) {
        return;
    }
    int file = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (file >= 0) {
        ::dup2(file, fd);
        ::close(file);
    }
}

[[noreturn]] void runChild(const std::string& out, const std::string& err, char** argv) {
    ::setpgid(0, 0);
    redirect("/dev/null", 0, O_RDONLY);
    redirect(out, 1, O_WRONLY | O_CREAT | O_TRUNC);
    redirect(err, 2, O_WRONLY | O_CREAT | O_TRUNC);
    ::execvp(argv[0], argv);
    ::_exit(127);
}

void recordForCleanup(pid_t child) {
    const char* folder = std::getenv("HOBNAR_HOST_PIDS");
    if (folder != nullptr && folder[0] != '\0') {
        std::ofstream(std::string(folder) + "/" + std::to_string(child)) << child << "\n";
    }
}

// A kill request is the signal's number in STATE.kill; it is consumed.
void forwardKillRequest(const std::string& killFile, pid_t child) {
    std::ifstream request(killFile);
    int signal = 0;
    if (request >> signal && signal > 0) {
        ::kill(child, signal);
        std::remove(killFile.c_str());
    }
}

int waitForChild(pid_t child, const std::string& killFile) {
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (done < 0 && errno != EINTR) {
            return -1;
        }
        forwardKillRequest(killFile, child);
        ::usleep(5000);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: hobnar-host-run STATE OUT ERR PROGRAM [ARGS...]\n");
        return 2;
    }
    std::string state = argv[1];
    pid_t child = ::fork();
    if (child == 0) {
        runChild(argv[2], argv[3], argv + 4);
    }
    if (child < 0) {
        writeFileAtomically(state + ".exit", "127");
        return 1;
    }
    recordForCleanup(child);
    writeFileAtomically(state + ".pid", std::to_string(child));
    int status = waitForChild(child, state + ".kill");
    writeFileAtomically(state + ".exit", std::to_string(status));
    return 0;
}
