// A real HTTP server on 127.0.0.1 for tests, on a free port, recording every
// request it answered.  Add routes to `http` before start().
#pragma once

#include <httplib.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/silent_port.h"

namespace testsupport {

struct SeenRequest {
    std::string method;
    std::string path;
    std::string target;  // path and query as sent
    httplib::Headers headers;
    httplib::Params params;
    std::string body;

    bool hasHeader(const std::string& name) const { return headers.count(name) > 0; }
    std::string header(const std::string& name) const;
};

class LocalServer {
  public:
    LocalServer();
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    // GET `path` answers `json` (a client query of the backend).
    void answerJson(const std::string& path, const std::string& json);
    // POSTs of operation-log events are accepted with success.
    void acceptEvents();
    void start();
    std::string url() const;  // "http://127.0.0.1:PORT"
    std::vector<SeenRequest> requests();

    httplib::Server http;

  private:
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<SeenRequest> m_seen;
};

}  // namespace testsupport
