#include "tests/support/backend_process.h"

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "tests/support/test_env.h"

namespace testsupport {

std::string backendProgram() {
    return HOBNAR_BACKEND_PROGRAM;
}

BackendProcess::BackendProcess(const std::string& folder, const std::string& package, int port,
                               const std::vector<std::string>& extra)
    : m_db(folder + "/events.db"),
      m_stdout(folder + "/backend.out"),
      m_stderr(folder + "/backend.err") {
    std::vector<std::string> argv = {backendProgram(),  "--port", std::to_string(port), "--package",
                                     hostPath(package), "--db",   hostPath(m_db)};
    argv.insert(argv.end(), extra.begin(), extra.end());
    // A fixed port may still be held by a server that is shutting down or by
    // a program outside the test run; the backend then exits at once and is
    // started again until the deadline.
    const std::regex listening("listening on http://[0-9.]+:([0-9]+)");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(45);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!m_process || !m_process->running()) {
            std::filesystem::remove(m_stdout);
            m_process = std::make_unique<ChildProcess>(argv, m_stdout, m_stderr);
        }
        std::smatch match;
        std::string out = readFile(m_stdout);
        if (std::regex_search(out, match, listening)) {
            m_port = std::stoi(match[1]);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

BackendProcess::~BackendProcess() {
    m_process->kill(15);
    m_process->wait(10);
}

std::string BackendProcess::log() const {
    return readFile(m_stderr);
}

bool BackendProcess::logHas(const std::string& text) const {
    for (int i = 0; i < 500; ++i) {
        if (log().find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string BackendProcess::listEvents() const {
    return runTool({backendProgram(), "--db", hostPath(m_db), "--list-events"}, 20).out;
}

std::vector<std::string> BackendProcess::eventNames() const {
    std::vector<std::string> names;
    std::string events = listEvents();
    const std::regex btnId(R"re(btnId\\":\\"([A-Za-z_]+)\\")re");
    for (std::sregex_iterator it(events.begin(), events.end(), btnId), end; it != end; ++it) {
        names.push_back((*it)[1]);
    }
    return names;
}

bool makeRarPackage(const std::string& archive,
                    const std::vector<std::pair<std::string, std::string>>& files) {
    std::string staging = archive + ".files";
    std::filesystem::create_directories(std::filesystem::u8path(staging));
    std::vector<std::string> argv = {"rar", "a", "-idq", "-ep1", hostPath(archive)};
    for (const auto& [name, content] : files) {
        std::string path = staging + "/" + name;
        writeFile(path, content);
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) {
            std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        }
        argv.push_back(hostPath(path));
    }
    ChildProcess rar(argv);
    bool ok = rar.wait(60) == 0 && std::filesystem::exists(std::filesystem::u8path(archive));
    std::filesystem::remove_all(std::filesystem::u8path(staging));
    return ok;
}

}  // namespace testsupport
