// hobnar-backend entry point: options, the --list-events mode, start-up
// checks, the listening line and a clean stop on SIGINT/SIGTERM.
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "server/backend_server.h"
#include "server/event_store.h"
#include "server/options.h"
#include "server/package_facts.h"

namespace {

constexpr int kExitRuntimeFailure = 1;
constexpr int kExitUsage = 2;

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void onStopSignal(int) {
    g_stopSignal = 1;
}

int fail(int code, const std::string& message) {
    std::cerr << "hobnar-backend: " << message << std::endl;
    return code;
}

int listEvents(const std::string& dbPath) {
    server::EventStore store;
    std::string error;
    std::vector<server::StoredEvent> events;
    if (!store.open(dbPath, false, error)) {
        return fail(kExitRuntimeFailure, error);
    }
    if (!store.listEvents(events)) {
        return fail(kExitRuntimeFailure, "cannot read the events of '" + dbPath + "'");
    }
    for (const server::StoredEvent& event : events) {
        std::cout << server::eventToJsonLine(event) << "\n";
    }
    std::cout << std::flush;
    return 0;
}

std::string checkPackageFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return "package file '" + path + "' does not exist or is not a regular file";
    }
    std::ifstream file(path, std::ios::binary);
    char probe = 0;
    if (!file || (std::filesystem::file_size(path, ec) > 0 && !file.read(&probe, 1))) {
        return "package file '" + path + "' cannot be read";
    }
    return "";
}

// The signal handler only sets a flag; this thread turns it into a stop,
// since stopping the HTTP server is not safe inside a signal handler.
void watchForStopSignal(server::BackendServer& backend, const std::atomic<bool>& served) {
    while (g_stopSignal == 0 && !served.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    backend.stop();
}

int serve(const server::ServerOptions& options) {
    std::string error = checkPackageFile(options.packagePath);
    if (!error.empty()) {
        return fail(kExitUsage, error);
    }
    server::PackageFacts package;
    if (!server::loadPackageFacts(options, package, error)) {
        return fail(kExitUsage, error);
    }
    server::EventStore store;
    if (!store.open(options.dbPath, true, error)) {
        return fail(kExitRuntimeFailure, error);
    }
    server::BackendServer backend(options, package, store);
    int port = backend.bind(error);
    if (port < 0) {
        return fail(kExitRuntimeFailure, error);
    }
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    std::atomic<bool> served{false};
    std::thread watcher(watchForStopSignal, std::ref(backend), std::cref(served));
    std::cout << "hobnar-backend listening on http://" << options.host << ":" << port << std::endl;
    bool ok = backend.serve();
    served.store(true);
    watcher.join();
    store.close();
    return ok || g_stopSignal != 0 ? 0 : fail(kExitRuntimeFailure, "the server stopped");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    server::ParsedOptions parsed = server::parseOptions(args);
    if (!parsed.error.empty()) {
        return fail(kExitUsage, parsed.error);
    }
    if (parsed.options.help) {
        std::cout << server::usageText() << std::flush;
        return 0;
    }
    if (parsed.options.listEvents) {
        return listEvents(parsed.options.dbPath);
    }
    return serve(parsed.options);
}
