// Starting other programs without a shell.  The installer may run several
// threads (GTK, the download), so between fork and exec only async-signal-safe
// calls are made: everything the child needs is prepared beforehand.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

std::string resolveProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The grandchild reports a failed exec through a close-on-exec pipe: end of
// file without data means the program is running.
[[noreturn]] void runDetachedChild(const char* program, char* const* args, int errorPipe) {
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild == 0) {
        int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0) {
            ::dup2(devNull, 0);
            ::close(devNull);
        }
        ::execv(program, args);
        int error = errno;
        ssize_t ignored = ::write(errorPipe, &error, sizeof error);
        (void)ignored;
        ::_exit(127);
    }
    int error = grandchild < 0 ? errno : 0;
    if (grandchild < 0) {
        ssize_t ignored = ::write(errorPipe, &error, sizeof error);
        (void)ignored;
    }
    ::_exit(0);
}

}  // namespace

bool startDetached(const std::vector<std::string>& argv) {
    if (argv.empty()) {
        return false;
    }
    std::string program = resolveProgram(argv[0]);
    if (program.empty()) {
        return false;
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        runDetachedChild(program.c_str(), args.data(), fds[1]);
    }
    ::close(fds[1]);
    bool started = false;
    if (child > 0) {
        int status = 0;
        ::waitpid(child, &status, 0);
        int error = 0;
        ssize_t got;
        do {
            got = ::read(fds[0], &error, sizeof error);
        } while (got < 0 && errno == EINTR);
        started = got == 0;
    }
    ::close(fds[0]);
    return started;
}

bool openWithDefaultHandler(const std::string& target) {
    return startDetached({"xdg-open", target});
}

bool launchFile(const std::string& path) {
    if (isExecutableFile(path)) {
        return startDetached({path});
    }
    return openWithDefaultHandler(path);
}

}  // namespace platform

namespace platform {

std::vector<std::string> programArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return arguments;
}

void useParentConsole() {}

}  // namespace platform
