#include "tests/server/backend_process.h"

#include <chrono>
#include <fstream>
#include <random>
#include <regex>
#include <thread>

#include "tests/support/test_env.h"

namespace servertest {
namespace {

int freshId() {
    static int next = 0;
    return ++next;
}

// The port from "hobnar-backend listening on http://127.0.0.1:PORT".
int waitForListeningLine(testsupport::ChildProcess& child, const std::string& stdoutPath) {
    static const std::regex line("hobnar-backend listening on http://127\\.0\\.0\\.1:([0-9]+)\n");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline && child.running()) {
        std::smatch match;
        std::string out = testsupport::readFile(stdoutPath);
        if (std::regex_search(out, match, line)) {
            return std::stoi(match[1]);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

}  // namespace

std::string makePackage(const std::string& path, size_t size) {
    std::mt19937_64 random(std::random_device{}());
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xff);
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return bytes;
}

CommandResult runBackend(const std::vector<std::string>& args) {
    int id = freshId();
    std::string outPath = "run" + std::to_string(id) + ".out";
    std::string errPath = "run" + std::to_string(id) + ".err";
    std::vector<std::string> argv = {HOBNAR_BACKEND_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    CommandResult result;
    {
        testsupport::ChildProcess child(argv, outPath, errPath);
        result.exitCode = child.wait(30);
    }
    result.out = testsupport::readFile(outPath);
    result.err = testsupport::readFile(errPath);
    return result;
}

BackendProcess::BackendProcess(const std::vector<std::string>& args) {
    int id = freshId();
    m_stdoutPath = "backend" + std::to_string(id) + ".out";
    m_stderrPath = "backend" + std::to_string(id) + ".err";
    std::vector<std::string> argv = {HOBNAR_BACKEND_PATH, "--port", "0", "--db", "events.db"};
    argv.insert(argv.end(), args.begin(), args.end());
    m_child = std::make_unique<testsupport::ChildProcess>(argv, m_stdoutPath, m_stderrPath);
    port = waitForListeningLine(*m_child, m_stdoutPath);
}

httplib::Client BackendProcess::client() const {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(30, 0);
    return client;
}

std::string BackendProcess::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

std::string BackendProcess::stderrText() const {
    return testsupport::readFile(m_stderrPath);
}

}  // namespace servertest
