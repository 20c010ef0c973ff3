// A port on 127.0.0.1 that never answers, for time-out tests.  Apart from
// local_server.h (which includes it) so that its OS-specific halves,
// silent_port_posix.cpp and silent_port_win32.cpp, need no HTTP library.
#pragma once

#include <string>

namespace testsupport {

// A port that accepts connections (the kernel completes them) but never
// answers: for time-out tests.
class SilentPort {
  public:
    SilentPort();
    ~SilentPort();
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

  private:
    int m_socket = -1;
    int m_port = 0;
};

}  // namespace testsupport
