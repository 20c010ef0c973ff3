// The real hobnar-backend as a child process, for tests of the real
// programs, and RAR packages made with `rar` at test time.  The Windows
// build's tests run both on the build machine (see child_process.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace testsupport {

class BackendProcess {
  public:
    // Starts `hobnar-backend --port PORT --package PACKAGE --db DB extra...` and
    // waits until it listens.  Port 0 picks a free one.
    BackendProcess(const std::string& folder, const std::string& package, int port,
                   const std::vector<std::string>& extra = {});
    ~BackendProcess();

    bool ready() const { return m_port > 0; }
    int port() const { return m_port; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    ChildProcess& process() { return *m_process; }
    // Its standard error: one line per request, written once the answer has
    // gone out.  logHas waits a few seconds for `text` to appear there.
    std::string log() const;
    bool logHas(const std::string& text) const;
    // The "btnId" of every stored event, in the order received.
    std::vector<std::string> eventNames() const;
    // The stored events, one JSON object per line.
    std::string listEvents() const;

  private:
    std::string m_db;
    std::string m_stdout;
    std::string m_stderr;
    int m_port = 0;
    std::unique_ptr<ChildProcess> m_process;
};

// Path of the hobnar-backend program of this build.
std::string backendProgram();

// A RAR archive at `archive` holding `files` (name -> content) at its root.
// Executable files are those whose name ends in ".exe".  True on success.
bool makeRarPackage(const std::string& archive,
                    const std::vector<std::pair<std::string, std::string>>& files);

// A product that records each start: hobnarAudio.exe writes "started" into
// the file "started" beside itself; unInstall.exe does nothing.  A GDK_GL
// that the window layer set for its own start-up and left behind would be
// inherited by the product and show after the word.  (POSIX: shell scripts;
// Windows: small programs of this build.)
std::vector<std::pair<std::string, std::string>> recordingProduct();

// Puts a program at `path` that, each time it starts, writes the path it was
// started as and a line break into the file "started" beside itself.  True
// on success.
bool installPathRecorder(const std::string& path);

}  // namespace testsupport
