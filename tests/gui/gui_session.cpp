#include "tests/gui/gui_session.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <thread>

#include "tests/support/test_env.h"

using testsupport::ChildProcess;
using testsupport::readFile;

namespace guitest {
namespace {

// A child asked to stop gets this long before the ChildProcess destructor
// kills it outright.
constexpr double kStopSeconds = 5;

void stop(std::unique_ptr<ChildProcess>& child) {
    if (child && child->running()) {
        child->kill(SIGTERM);
        child->wait(kStopSeconds);
    }
    child.reset();
}

std::string nextName(const std::string& stem) {
    static int counter = 0;
    return stem + "-" + std::to_string(++counter);
}

// Number after "KEY=" in xdotool's --shell output; -1 when missing.
int shellValue(const std::string& text, const std::string& key) {
    size_t at = text.find(key + "=");
    if (at == std::string::npos || (at > 0 && text[at - 1] != '\n')) {
        return -1;
    }
    return std::atoi(text.c_str() + at + key.size() + 1);
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

}  // namespace

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && std::filesystem::exists(dir + "/" + program)) {
            return true;
        }
    }
    return false;
}

bool waitUntil(const std::function<bool()>& condition, double seconds, int pollMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return true;
}

ToolRun runTool(const std::vector<std::string>& argv, double timeoutSeconds) {
    std::string out = nextName("tool") + ".out";
    ToolRun run;
    {
        ChildProcess tool(argv, out, out + ".err");
        run.exitCode = tool.wait(timeoutSeconds);
    }
    run.out = readFile(out);
    return run;
}

// --- Xvfb -------------------------------------------------------------------

XvfbSession::XvfbSession() {
    std::filesystem::remove("xvfb-display");
    // -br: a black root, so that whatever the window does not cover is black.
    m_server = std::make_unique<ChildProcess>(
        std::vector<std::string>{"Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-br",
                                 "-nolisten", "tcp"},
        "xvfb-display", "xvfb.log");
    std::string number;
    waitUntil(
        [&] {
            std::string text = readFile("xvfb-display");
            if (!text.empty() && text.back() == '\n') {
                number = firstLine(text);
                return true;
            }
            return !m_server->running();
        },
        20, 20);
    if (number.empty()) {
        return;
    }
    display = ":" + number;
    testsupport::setEnv("DISPLAY", display.c_str());
    testsupport::setEnv("GDK_BACKEND", "x11");
    testsupport::setEnv("DUILIB_BACKEND", nullptr);
    // No accessibility bus, no settings daemon, and a session bus address
    // that leads nowhere: GTK neither waits for nor starts any of them.
    testsupport::setEnv("NO_AT_BRIDGE", "1");
    testsupport::setEnv("GTK_A11Y", "none");
    testsupport::setEnv("GSETTINGS_BACKEND", "memory");
    std::string noBus =
        "unix:path=" + (std::filesystem::current_path() / "no-session-bus").string();
    testsupport::setEnv("DBUS_SESSION_BUS_ADDRESS", noBus.c_str());
}

XvfbSession::~XvfbSession() {
    stop(m_server);
}

std::string XvfbSession::log() const {
    return readFile("xvfb.log");
}

// --- hobnar-backend ---------------------------------------------------------

Backend::Backend(const std::string& package, const std::vector<std::string>& options) {
    std::vector<std::string> argv = {HOBNAR_BACKEND_PROGRAM,
                                     "--port",
                                     std::to_string(kDevPort),
                                     "--package",
                                     package,
                                     "--db",
                                     "events.db"};
    argv.insert(argv.end(), options.begin(), options.end());
    // The port may be held for a while by a server that is shutting down or
    // by a program outside the test run; the backend then exits with 1 and is
    // started again.
    listening = waitUntil(
        [&] {
            if (!m_server || !m_server->running()) {
                // An earlier server's listening line must not count.
                std::filesystem::remove("backend.out");
                m_server = std::make_unique<ChildProcess>(argv, "backend.out", "backend.err");
            }
            return readFile("backend.out").find("listening on") != std::string::npos;
        },
        45, 200);
}

Backend::~Backend() {
    stop(m_server);
}

std::string Backend::log() const {
    return readFile("backend.out") + readFile("backend.err");
}

std::vector<std::string> Backend::events() const {
    ToolRun list = runTool({HOBNAR_BACKEND_PROGRAM, "--db", "events.db", "--list-events"});
    std::vector<std::string> names;
    std::istringstream lines(list.out);
    std::string line;
    while (std::getline(lines, line)) {
        nlohmann::json row = nlohmann::json::parse(line, nullptr, false);
        if (!row.is_object() || !row.contains("body") || !row["body"].is_string()) {
            continue;
        }
        nlohmann::json body = nlohmann::json::parse(row["body"].get<std::string>(), nullptr, false);
        if (body.is_object() && body.contains("btnId") && body["btnId"].is_string()) {
            names.push_back(body["btnId"].get<std::string>());
        }
    }
    return names;
}

bool Backend::waitForEvent(const std::string& name, double seconds) const {
    return waitUntil(
        [&] {
            for (const std::string& event : events()) {
                if (event == name) {
                    return true;
                }
            }
            return false;
        },
        seconds, 200);
}

// --- the installer ----------------------------------------------------------

Installer::Installer(const std::vector<std::string>& args) : m_name(nextName("installer")) {
    std::vector<std::string> argv = {HOBNAR_SETUP_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    m_process = std::make_unique<ChildProcess>(argv, m_name + ".out", m_name + ".err");
}

Installer::~Installer() {
    stop(m_process);
}

std::string Installer::log() const {
    return readFile(m_name + ".out") + readFile(m_name + ".err");
}

// --- packages ---------------------------------------------------------------

std::vector<PackageFile> productFiles(const std::string& marker, size_t padding) {
    std::vector<PackageFile> files = {
        {"hobnarAudio.exe", "#!/bin/sh\necho started >> '" + marker + "'\n", true},
        {"unInstall.exe", "#!/bin/sh\nexit 0\n", true},
    };
    if (padding > 0) {
        std::mt19937 random(static_cast<unsigned>(padding));
        std::string bytes(padding, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(random() & 0xFF);
        }
        files.push_back({"resources.pak", bytes, false});
    }
    return files;
}

bool makeRarPackage(const std::string& archive, const std::vector<PackageFile>& files) {
    std::string folder = nextName("package-files");
    std::filesystem::create_directories(folder);
    // -ep stores the bare names, so the files sit at the archive's root.
    std::vector<std::string> argv = {"rar", "a", "-idq", "-ep", archive};
    for (const PackageFile& file : files) {
        std::string path = folder + "/" + file.name;
        testsupport::writeFile(path, file.content);
        if (file.executable) {
            std::filesystem::permissions(path,
                                         std::filesystem::perms::owner_exec |
                                             std::filesystem::perms::group_exec |
                                             std::filesystem::perms::others_exec,
                                         std::filesystem::perm_options::add);
        }
        argv.push_back(path);
    }
    return runTool(argv, 60).exitCode == 0 && std::filesystem::exists(archive);
}

// --- the window ---------------------------------------------------------------

std::string findWindow(double seconds, const std::string& title) {
    std::string id;
    waitUntil(
        [&] {
            ToolRun search =
                runTool({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"});
            id = firstLine(search.out);
            return !id.empty();
        },
        seconds, 100);
    return id;
}

bool windowExists(const std::string& windowId) {
    return runTool({"xdotool", "getwindowname", windowId}).exitCode == 0;
}

bool windowGeometry(const std::string& windowId, Geometry& geometry) {
    ToolRun run = runTool({"xdotool", "getwindowgeometry", "--shell", windowId});
    if (run.exitCode != 0) {
        return false;
    }
    geometry = Geometry{shellValue(run.out, "X"), shellValue(run.out, "Y"),
                        shellValue(run.out, "WIDTH"), shellValue(run.out, "HEIGHT")};
    return geometry.width > 0 && geometry.height > 0;
}

bool click(const Geometry& window, Point point) {
    return runTool({"xdotool", "mousemove", std::to_string(window.x + point.x),
                    std::to_string(window.y + point.y), "click", "1"})
               .exitCode == 0;
}

// In steps with pauses, as a hand would: the move starts only after the
// press has been seen, and each motion moves the window along.
bool drag(const Geometry& window, Point from, Point to) {
    std::vector<std::string> argv = {"xdotool",
                                     "mousemove",
                                     std::to_string(window.x + from.x),
                                     std::to_string(window.y + from.y),
                                     "mousedown",
                                     "1",
                                     "sleep",
                                     "0.2"};
    constexpr int kSteps = 5;
    for (int step = 1; step <= kSteps; ++step) {
        int x = window.x + from.x + (to.x - from.x) * step / kSteps;
        int y = window.y + from.y + (to.y - from.y) * step / kSteps;
        for (const std::string& word :
             {std::string("mousemove"), std::to_string(x), std::to_string(y), std::string("sleep"),
              std::string("0.1")}) {
            argv.push_back(word);
        }
    }
    argv.insert(argv.end(), {"mouseup", "1"});
    return runTool(argv).exitCode == 0;
}

// The window gets the input focus first, then the key goes in as real input.
bool pressKey(const std::string& windowId, const std::string& key) {
    return runTool({"xdotool", "windowfocus", windowId, "key", key}).exitCode == 0;
}

bool typeText(const std::string& windowId, const std::string& text) {
    return runTool({"xdotool", "windowfocus", windowId, "type", "--delay", "5", text}).exitCode ==
           0;
}

void parkPointer() {
    runTool({"xdotool", "mousemove", "1", "1"});
}

MapWatcher::MapWatcher() : m_output(nextName("xev") + ".out") {
    m_xev = std::make_unique<ChildProcess>(
        std::vector<std::string>{"xev", "-root", "-event", "substructure", "-event", "property"},
        m_output, m_output + ".err");
    ready = waitUntil(
        [&] {
            runTool({"xprop", "-root", "-f", "HOBNAR_TEST_PROBE", "8s", "-set", "HOBNAR_TEST_PROBE",
                     "ready"});
            return readFile(m_output).find("PropertyNotify") != std::string::npos;
        },
        10, 100);
}

MapWatcher::~MapWatcher() {
    stop(m_xev);
}

// xev flushes each event as it prints it.
bool MapWatcher::sawMap() const {
    return readFile(m_output).find("MapNotify") != std::string::npos;
}

// --- captures -----------------------------------------------------------------

Capture::Capture(const std::string& pngPath, const Geometry& area) {
    ToolRun shot =
        runTool({HOBNAR_X11_SHOT, pngPath, std::to_string(area.x), std::to_string(area.y),
                 std::to_string(area.width), std::to_string(area.height)});
    if (shot.exitCode != 0) {
        return;
    }
    cairo_surface_t* image = cairo_image_surface_create_from_png(pngPath.c_str());
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(image);
        return;
    }
    m_surface.reset(image, cairo_surface_destroy);
}

Rgb Capture::at(int x, int y) const {
    cairo_surface_t* image = m_surface.get();
    if (!image || x < 0 || y < 0 || x >= cairo_image_surface_get_width(image) ||
        y >= cairo_image_surface_get_height(image)) {
        return Rgb{-1, -1, -1};
    }
    cairo_surface_flush(image);
    const unsigned char* row =
        cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
    uint32_t pixel = reinterpret_cast<const uint32_t*>(row)[x];
    return Rgb{static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
               static_cast<int>(pixel & 0xFF)};
}

bool near(Rgb pixel, Rgb expected, int tolerance) {
    return std::abs(pixel.r - expected.r) <= tolerance &&
           std::abs(pixel.g - expected.g) <= tolerance &&
           std::abs(pixel.b - expected.b) <= tolerance;
}

bool sameArea(const Capture& a, const Capture& b, Geometry area) {
    for (int y = area.y; y < area.y + area.height; ++y) {
        for (int x = area.x; x < area.x + area.width; ++x) {
            Rgb pa = a.at(x, y);
            Rgb pb = b.at(x, y);
            if (pa.r != pb.r || pa.g != pb.g || pa.b != pb.b) {
                return false;
            }
        }
    }
    return true;
}

bool isCoral(Rgb pixel) {
    // #FF4F4F, hover #F04444, pressed #D93B3B.
    return pixel.r >= 200 && pixel.g >= 40 && pixel.g <= 100 && pixel.b >= 40 && pixel.b <= 100;
}

const char* pageName(Page page) {
    switch (page) {
        case Page::Start:
            return "start";
        case Page::CustomInstall:
            return "custom install";
        case Page::Installing:
            return "installing";
        case Page::Finished:
            return "finished";
        case Page::Failed:
            return "failed";
        case Page::Unknown:
            break;
    }
    return "unknown";
}

namespace {

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kPathBox{0xF5, 0xF6, 0xF7};  // "installPath" background
constexpr Rgb kProgressTrack{0xEC, 0xED, 0xEF};

bool isProgressBar(Rgb pixel) {
    return isCoral(pixel) || near(pixel, kProgressTrack, 4);
}

}  // namespace

// Points of the 600x400 skin where the pages differ, in window coordinates:
// the start page's install button (y 248-296) under its hero banner; the
// custom page's path box and its install button at the bottom right; the
// installing page's progress bar (y 352-360, x 48-552); the finished page's
// wide button (x 190-410, y 286-334); the failure page's two buttons
// (close x 152-292, retry x 308-448) with a gap between them.
Page pageShown(const Capture& window) {
    auto at = [&](int x, int y) { return window.at(x, y); };
    Rgb hero = at(100, 130);
    if (isCoral(at(300, 272)) && near(at(300, 310), kWhite) && hero.r > 240 && hero.g < 130) {
        return Page::Start;
    }
    if (near(at(450, 150), kPathBox, 4) && isCoral(at(540, 356))) {
        return Page::CustomInstall;
    }
    if (isProgressBar(at(60, 356)) && isProgressBar(at(300, 356)) && isProgressBar(at(540, 356))) {
        return Page::Installing;
    }
    if (isCoral(at(230, 310)) && isCoral(at(300, 310)) && near(at(300, 272), kWhite)) {
        return Page::Finished;
    }
    if (near(at(170, 310), kWhite) && near(at(300, 310), kWhite) && isCoral(at(400, 310))) {
        return Page::Failed;
    }
    return Page::Unknown;
}

bool waitForPage(const Geometry& window, Page page, double seconds, Page* seen) {
    Page last = Page::Unknown;
    bool shown = waitUntil(
        [&] {
            last = pageShown(Capture("page.png", window));
            return last == page;
        },
        seconds, 100);
    if (seen) {
        *seen = last;
    }
    return shown;
}

std::string saveScreenshot(const Geometry& window, const std::string& name) {
    std::string folder = std::string(HOBNAR_BUILD_DIR) + "/screenshots";
    std::filesystem::create_directories(folder);
    std::string path = folder + "/" + name;
    Capture shot(path, window);
    return shot.ok() ? path : "";
}

}  // namespace guitest
