// The real hobnar-backend as a child process, RAR packages made with `rar`,
// and the small programs tests install; every call blocks until done.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

namespace testsupport {

class BackendProcess {
  public:
    // hobnar-backend on PORT (0: a free one) with the package and its event
    // store in `folder`, waited for until it listens.
    BackendProcess(const std::string& folder, const std::string& package, int port,
                   const std::vector<std::string>& extra = {});
    ~BackendProcess();

    bool ready() const { return m_port > 0; }
    int port() const { return m_port; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    ChildProcess& process() { return *m_process; }
    // Its standard error (a line per answered request); logHas waits for text.
    std::string log() const { return readFile(m_stderr); }
    bool logHas(const std::string& text) const;
    // How many requests for `path` (a "GET /x" prefix) it has answered.
    int requests(const std::string& request) const;
    // The stored events, a JSON object a line, and the "btnId" of each.
    std::string listEvents() const;
    std::vector<std::string> eventNames() const;

  private:
    std::string m_db;
    std::string m_stdout;
    std::string m_stderr;
    int m_port = 0;
    std::unique_ptr<ChildProcess> m_process;
};

// Path of the hobnar-backend program of this build.
std::string backendProgram();
// A RAR archive of `files` (name, content) at its root, "*.exe" executable.
bool makeRarPackage(const std::string& archive,
                    const std::vector<std::pair<std::string, std::string>>& files);
// hobnarAudio.exe appends "started" (and a GDK_GL it was left) and a line break
// to the file "started" beside it; unInstall.exe does nothing.
std::vector<std::pair<std::string, std::string>> recordingProduct();
// A program at `path` that writes its path and a line break into "started" beside it.
bool installPathRecorder(const std::string& path);

}  // namespace testsupport
