#include "tests/support/local_server.h"

namespace testsupport {

std::string SeenRequest::header(const std::string& name) const {
    auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

LocalServer::LocalServer() {
    // Recorded before the response goes out, so a client that has its answer
    // can rely on the server having seen the request.
    http.set_post_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seen.push_back({req.method, req.path, req.target, req.headers, req.params, req.body});
    });
}

LocalServer::~LocalServer() {
    http.stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void LocalServer::answerJson(const std::string& path, const std::string& json) {
    http.Get(path, [json](const httplib::Request&, httplib::Response& res) {
        res.set_content(json, "application/json");
    });
}

void LocalServer::acceptEvents() {
    http.Post("/v1/app/operationLog/saveLog", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"success":"1"})", "application/json");
    });
}

void LocalServer::start() {
    m_port = http.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { http.listen_after_bind(); });
    while (!http.is_running()) {
        std::this_thread::yield();
    }
}

std::string LocalServer::url() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::vector<SeenRequest> LocalServer::requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_seen;
}

}  // namespace testsupport
