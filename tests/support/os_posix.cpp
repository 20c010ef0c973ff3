// The support code's POSIX half: environment variables, fork and exec, scripts.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/platform.h"
#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace testsupport {

void setEnv(const char* name, const char* value) {
    if (value) {
        ::setenv(name, value, 1);
    } else {
        ::unsetenv(name);
    }
}

void setSystemProxy(const std::string& hostPort, bool bypassLoopback) {
    setEnv("http_proxy", ("http://" + hostPort).c_str());
    setEnv("no_proxy", bypassLoopback ? "127.0.0.1" : nullptr);
}

std::vector<std::pair<std::string, std::string>> TempEnvironment::userFolders() {
    home = root + "/home";
    stateHome = home + "/.local/state";
    dataHome = home + "/.local/share";
    configHome = home + "/.config";
    desktop = home + "/Desktop";
    registryDb = root + "/registry.db";
    return {{"HOBNAR_REGISTRY_DB", registryDb}, {"HOME", home},
            {"XDG_STATE_HOME", stateHome},      {"XDG_DATA_HOME", dataHome},
            {"XDG_CONFIG_HOME", configHome},    {"XDG_DESKTOP_DIR", desktop}};
}

std::string TempEnvironment::userSetting(const std::string& name) {
    const char* value = ::getenv(name.c_str());
    return value ? value : kUnset;
}

void TempEnvironment::setUserSetting(const std::string& name, const std::string& value) {
    setEnv(name.c_str(), value == kUnset ? nullptr : value.c_str());
}

void TempEnvironment::hideLocalAppData() {
    setEnv("HOME", nullptr);
    setEnv("XDG_STATE_HOME", nullptr);
}

struct ChildProcess::Child {
    pid_t pid;
};

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& stdoutPath,
                           const std::string& stderrPath) {
    std::vector<char*> args(argv.size() + 1, nullptr);
    std::transform(argv.begin(), argv.end(), args.begin(),
                   [](const std::string& arg) { return const_cast<char*>(arg.c_str()); });
    pid_t pid = ::fork();
    if (pid == 0) {
        for (auto [path, fd] : {std::make_pair(&stdoutPath, 1), std::make_pair(&stderrPath, 2)}) {
            int file = path->empty()
                           ? -1
                           : ::open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (file >= 0) {
                ::dup2(file, fd);
            }
        }
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    m_child.reset(pid > 0 ? new Child{pid} : nullptr);
}

int ChildProcess::exitStatus() {
    int status = 0;
    pid_t done = ::waitpid(m_child->pid, &status, WNOHANG);
    if (done == 0) {
        return -1;
    }
    return done < 0 ? 127 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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

std::vector<std::pair<std::string, std::string>> recordingProduct() {
    return {{"hobnarAudio.exe",
             "#!/bin/sh\necho \"started$GDK_GL\" >> \"$(dirname \"$0\")/started\"\n"},
            {"unInstall.exe", "#!/bin/sh\nexit 0\n"}};
}

bool installPathRecorder(const std::string& path) {
    writeFile(path, "#!/bin/sh\necho \"$0\" > \"$(dirname \"$0\")/started\"\n");
    std::error_code error;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, error);
    return !error;
}

}  // namespace testsupport
