// A real HTTP server on a free port of 127.0.0.1 that records every request
// it answers.  Routes go into `http` before start(); handlers run on the
// server's threads; requests() may be called from any thread.
#pragma once

#include <httplib.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

using SeenRequest = httplib::Request;

class LocalServer {
  public:
    LocalServer();
    ~LocalServer();

    // GETs of `path` answer `json`; POSTs of operation-log events succeed.
    void answerJson(const std::string& path, const std::string& json);
    void acceptEvents();
    void start();
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::vector<SeenRequest> requests();

    httplib::Server http;

  private:
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<SeenRequest> m_seen;
};

}  // namespace testsupport
