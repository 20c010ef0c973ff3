// hobnar-host-run STATE OUT ERR PROGRAM [ARGS...]: a Windows test's program run
// under Wine, which gives it no handle.  PROGRAM (on PATH) leads a process group
// (in $HOBNAR_HOST_PIDS, for the Wine wrapper to end), stdin /dev/null, output to
// OUT/ERR unless empty; it gets the signal written to STATE.kill; its status
// (128 + signal if killed, 127 if it cannot start) goes to STATE.exit.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void redirect(const std::string& path, int fd, int flags) {
    int file = path.empty() ? -1 : ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (file >= 0) {
        ::dup2(file, fd);
    }
}

// A kill request is the signal's number in STATE.kill; it is consumed.
int waitForChild(pid_t child, const std::string& killFile) {
    for (int status = 0;; ::usleep(5000)) {
        pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done != 0) {
            return done < 0            ? 127
                   : WIFEXITED(status) ? WEXITSTATUS(status)
                                       : 128 + WTERMSIG(status);
        }
        int signal = 0;
        if (std::ifstream(killFile) >> signal && signal > 0) {
            ::kill(child, signal);
            std::remove(killFile.c_str());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        return 2;
    }
    std::string state = argv[1];
    pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0);
        redirect("/dev/null", 0, O_RDONLY);
        redirect(argv[2], 1, O_WRONLY | O_CREAT | O_TRUNC);
        redirect(argv[3], 2, O_WRONLY | O_CREAT | O_TRUNC);
        ::execvp(argv[4], argv + 4);
        ::_exit(127);
    }
    const char* pids = std::getenv("HOBNAR_HOST_PIDS");
    if (child > 0 && pids != nullptr && pids[0] != '\0') {
        std::ofstream(std::string(pids) + "/" + std::to_string(child)) << child << "\n";
    }
    int status = child > 0 ? waitForChild(child, state + ".kill") : 127;
    std::ofstream(state + ".exit") << status << "\n";  // one write: never read half
    return 0;
}
