// The support code's shared half; os_posix.cpp and os_win32.cpp are the others.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/platform.h"
#include "tests/support/backend_process.h"
#include "tests/support/local_server.h"
#include "tests/support/test_env.h"

namespace testsupport {

namespace fs = std::filesystem;

TempEnvironment::TempEnvironment() {
    std::error_code error;
    // parent_path of "DIR/" drops the one separator a temporary folder may end in.
    root = platform::makeFreshFolder((fs::temp_directory_path(error) / "").parent_path().u8string(),
                                     "hobnar-test-");
    m_savedCwd = fs::current_path(error).u8string();
    for (const auto& [setting, folder] : userFolders()) {
        if (folder != registryDb) {
            fs::create_directories(fs::u8path(folder), error);
        }
        m_saved.emplace_back(setting, userSetting(setting));
        setUserSetting(setting, folder);
    }
    // Relative paths a test might write land in the temporary folder too.
    fs::current_path(fs::u8path(root), error);
    if (root.empty() || error) {
        ADD_FAILURE() << "cannot make or enter a temporary folder";
    }
}

TempEnvironment::~TempEnvironment() {
    for (const auto& [setting, value] : m_saved) {
        setUserSetting(setting, value);
    }
    std::error_code ignored;
    fs::current_path(fs::u8path(m_savedCwd), ignored);
    fs::remove_all(fs::u8path(root), ignored);
}

// u8path: a plain std::string path is read in the ANSI code page on Windows.
std::string readFile(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(fs::u8path(path), std::ios::binary).rdbuf();
    return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::error_code ignored;
    fs::create_directories(fs::u8path(path).parent_path(), ignored);
    std::ofstream(fs::u8path(path), std::ios::binary | std::ios::trunc) << bytes;
}

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&random] { return static_cast<char>(random()); });
    return bytes;
}

std::string awaitFile(const std::string& path, int seconds, const std::string& text) {
    std::string content = readFile(path);
    for (int i = 0; i < seconds * 100 && (content.empty() || content.find(text) == content.npos);
         ++i, content = readFile(path)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return content;
}

std::string nativePath(std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kPathSep);
    return path;
}

ChildProcess::~ChildProcess() {
    if (running()) {
        kill(kKillSignal);
        wait(10);
    }
}

bool ChildProcess::running() {
    m_status = m_child && m_status < 0 ? exitStatus() : m_status;
    return m_child && m_status < 0;
}

int ChildProcess::wait(double timeoutSeconds) {
    for (int naps = 0; running();
         ++naps, std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        if (naps * 0.005 > timeoutSeconds) {
            return -1;
        }
    }
    return m_status;
}

ToolRun runTool(const std::vector<std::string>& argv, double timeoutSeconds) {
    static int runs = 0;
    std::string stem = "tool-run-" + std::to_string(++runs);
    int exitCode = ChildProcess(argv, stem + ".out", stem + ".err").wait(timeoutSeconds);
    return {exitCode, readFile(stem + ".out"), readFile(stem + ".err")};
}

LocalServer::LocalServer() {
    // Recorded before the answer goes out: a client that has one was seen.
    http.set_post_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seen.push_back(req);
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

std::vector<SeenRequest> LocalServer::requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_seen;
}

std::string backendProgram() {
    return HOBNAR_BACKEND_PROGRAM;
}

BackendProcess::BackendProcess(const std::string& folder, const std::string& package, int port,
                               const std::vector<std::string>& extra)
    : m_db(folder + "/events.db"),
      m_stdout(folder + "/backend.out"),
      m_stderr(folder + "/backend.err") {
    // Without a package the options name what to serve (--release).
    std::vector<std::string> argv = {backendProgram(), "--port", std::to_string(port), "--db",
                                     hostPath(m_db)};
    if (!package.empty()) {
        argv.insert(argv.end(), {"--package", hostPath(package)});
    }
    argv.insert(argv.end(), extra.begin(), extra.end());
    // A fixed port may still be held by a server shutting down or another
    // program; the backend then exits at once and starts again until the deadline.
    const std::regex listening("listening on http://[0-9.]+:([0-9]+)");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(45);
    while (m_port == 0 && std::chrono::steady_clock::now() < deadline) {
        if (!m_process || !m_process->running()) {
            fs::remove(fs::u8path(m_stdout));
            m_process = std::make_unique<ChildProcess>(argv, m_stdout, m_stderr);
        }
        std::smatch match;
        std::string out = readFile(m_stdout);
        if (std::regex_search(out, match, listening)) {
            m_port = std::stoi(match[1]);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

BackendProcess::~BackendProcess() {
    m_process->kill(15);
    m_process->wait(10);
}

bool BackendProcess::logHas(const std::string& text) const {
    return awaitFile(m_stderr, 5, text).find(text) != std::string::npos;
}

int BackendProcess::requests(const std::string& request) const {
    std::string text = log();
    int count = 0;
    for (size_t at = text.find(request + ' '); at != std::string::npos;
         at = text.find(request + ' ', at + 1)) {
        ++count;
    }
    return count;
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
    std::vector<std::string> argv = {"rar", "a", "-idq", "-ep1", hostPath(archive)};
    std::error_code ignored;
    for (const auto& [name, content] : files) {
        std::string path = staging + "/" + name;
        writeFile(path, content);
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) {
            fs::permissions(fs::u8path(path), fs::perms::owner_all, ignored);
        }
        argv.push_back(hostPath(path));
    }
    bool made = ChildProcess(argv).wait(60) == 0 && platform::fileExists(archive);
    fs::remove_all(fs::u8path(staging), ignored);
    return made;
}

}  // namespace testsupport
