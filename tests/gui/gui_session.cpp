#include "tests/gui/gui_session.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/platform.h"

using testsupport::ChildProcess;
using testsupport::readFile;
using testsupport::runTool;

namespace guitest {
namespace {

// A child asked to stop gets this long before the ChildProcess destructor
// kills it outright.
void stop(std::unique_ptr<ChildProcess>& child) {
    if (child && child->running()) {
        child->kill(SIGTERM);
        child->wait(5);
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

// The prefix's drive C: and its user's folder (C:\users\<name>), as the
// build machine sees them.
std::string wineDriveC() {
    const char* prefix = std::getenv("WINEPREFIX");
    return std::string(prefix ? prefix : "") + "/drive_c/";
}

std::string wineUserFolder() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(wineDriveC() + "users", error)) {
        if (entry.is_directory() && entry.path().filename() != "Public") {
            return entry.path().string();
        }
    }
    return wineDriveC() + "users/nobody";
}

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && std::filesystem::exists(dir + "/" + program)) {
            return true;
        }
    }
    return false;
}

}  // namespace

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

XvfbSession::XvfbSession() {
    std::filesystem::remove("xvfb-display");
    // -br: a black root, so that whatever the window does not cover is black.
    // -noreset: the server otherwise resets when its last client leaves (the
    // installer ending with no watcher running), and refuses connections
    // meanwhile.
    m_server = std::make_unique<ChildProcess>(
        std::vector<std::string>{"Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-br",
                                 "-noreset", "-nolisten", "tcp"},
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
    testsupport::setEnv("GDK_GL", nullptr);  // the product must not see one either
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

Installer::Installer(const std::vector<std::string>& args) : m_name(nextName("installer")) {
    std::vector<std::string> argv = {HOBNAR_SETUP_PROGRAM};
    if (kWine) {
        argv.insert(argv.begin(), "wine");
    }
    argv.insert(argv.end(), args.begin(), args.end());
    m_process = std::make_unique<ChildProcess>(argv, m_name + ".out", m_name + ".err");
}

Installer::~Installer() {
    stop(m_process);
}

std::string Installer::log() const {
    return readFile(m_name + ".out") + readFile(m_name + ".err");
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
        30, 100);
}

MapWatcher::~MapWatcher() {
    stop(m_xev);
}

// xev flushes each event as it prints it.
bool MapWatcher::sawMap() const {
    return readFile(m_output).find("MapNotify") != std::string::npos;
}

std::string findWindow(double seconds, const std::string& title) {
    std::string id;
    waitUntil(
        [&] {
            id = firstLine(
                runTool({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, 15)
                    .out);
            return !id.empty();
        },
        seconds, 100);
    return id;
}

bool windowExists(const std::string& windowId) {
    return runTool({"xdotool", "getwindowname", windowId}, 15).exitCode == 0;
}

bool windowGeometry(const std::string& windowId, Geometry& geometry) {
    testsupport::ToolRun run = runTool({"xdotool", "getwindowgeometry", "--shell", windowId}, 15);
    geometry = Geometry{shellValue(run.out, "X"), shellValue(run.out, "Y"),
                        shellValue(run.out, "WIDTH"), shellValue(run.out, "HEIGHT")};
    return run.exitCode == 0 && geometry.width > 0 && geometry.height > 0;
}

bool click(const Geometry& window, Point point) {
    return runTool({"xdotool", "mousemove", std::to_string(window.x + point.x),
                    std::to_string(window.y + point.y), "click", "1", "mousemove", "1", "1"},
                   15)
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
        argv.insert(
            argv.end(),
            {"mousemove", std::to_string(window.x + from.x + (to.x - from.x) * step / kSteps),
             std::to_string(window.y + from.y + (to.y - from.y) * step / kSteps), "sleep", "0.1"});
    }
    argv.insert(argv.end(), {"mouseup", "1"});
    return runTool(argv, 15).exitCode == 0;
}

// The window gets the input focus first, then the key goes in as real input.
bool pressKey(const std::string& windowId, const std::string& key) {
    return runTool({"xdotool", "windowfocus", windowId, "key", key}, 15).exitCode == 0;
}

Capture::Capture(const std::string& pngPath, const Geometry& area) {
    if (runTool({HOBNAR_X11_SHOT, pngPath, std::to_string(area.x), std::to_string(area.y),
                 std::to_string(area.width), std::to_string(area.height)},
                15)
            .exitCode != 0) {
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

bool isCoral(Rgb pixel) {
    // #FF4F4F, hover #F04444, pressed #D93B3B.
    return pixel.r >= 200 && pixel.g >= 40 && pixel.g <= 100 && pixel.b >= 40 && pixel.b <= 100;
}

// Points of the 600x400 skin where the pages differ, in window coordinates:
// the start page's install button (y 248-296) under its hero banner; the
// custom page's path box and its install button at the bottom right; the
// installing page's progress bar (y 352-360, x 48-552); the finished page's
// wide button (x 190-410, y 286-334); the failure page's two buttons
// (close x 152-292, retry x 308-448) with a gap between them.
Page pageShown(const Capture& window) {
    constexpr Rgb kWhite{255, 255, 255};
    constexpr Rgb kPathBox{0xF5, 0xF6, 0xF7};
    constexpr Rgb kProgressTrack{0xEC, 0xED, 0xEF};
    auto at = [&](int x, int y) { return window.at(x, y); };
    auto bar = [&](int x) { return isCoral(at(x, 356)) || near(at(x, 356), kProgressTrack, 4); };
    Rgb hero = at(100, 130);
    if (isCoral(at(300, 272)) && near(at(300, 310), kWhite) && hero.r > 240 && hero.g < 130) {
        return Page::Start;
    }
    if (near(at(450, 150), kPathBox, 4) && isCoral(at(540, 356))) {
        return Page::CustomInstall;
    }
    if (bar(60) && bar(300) && bar(540)) {
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

bool waitForPage(const Geometry& window, Page page, double seconds) {
    return waitUntil([&] { return pageShown(Capture("page.png", window)) == page; }, seconds);
}

int progressWidth(const Capture& window) {
    int width = 0;
    for (int x = 48; x < 552 && isCoral(window.at(x, 356)); ++x) {
        ++width;
    }
    return width;
}

bool saveScreenshot(const Geometry& window, const std::string& name) {
    std::string folder = HOBNAR_SCREENSHOT_DIR;
    std::filesystem::create_directories(folder);
    return Capture(folder + "/" + name, window).ok();
}

void GuiTest::SetUp() {
    std::vector<std::string> programs = {"Xvfb", "xdotool", "xev", "xprop", "rar"};
    if (kWine) {
        programs.push_back("wine");
    }
    for (const std::string& program : programs) {
        if (!onPath(program)) {
            GTEST_SKIP() << program << " is not installed";
        }
    }
    ASSERT_TRUE(!kWine || std::getenv("WINEPREFIX")) << "runs through wine-test-run.sh --host";
    xvfb = std::make_unique<XvfbSession>();
    ASSERT_FALSE(xvfb->display.empty()) << readFile("xvfb.log");
}

std::string GuiTest::productFolder() const {
    return (kWine ? wineUserFolder() + "/AppData/Roaming" : env.dataHome) + "/win-ia32-unpacked";
}

std::string GuiTest::shortcutPath() const {
    return kWine ? wineUserFolder() + "/Desktop/hobnar语音文字转换器.lnk"
                 : env.desktop + "/hobnar语音文字转换器.desktop";
}

std::string GuiTest::programPath(const std::string& path) const {
    std::string drive = wineDriveC();
    if (!kWine || path.compare(0, drive.size(), drive) != 0) {
        return path;
    }
    std::string windows = "C:\\" + path.substr(drive.size());
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

// A shell link keeps its target's path, NUL-ended, in the system's code page.
bool GuiTest::shortcutStarts(const std::string& program) const {
    std::string wanted = kWine ? programPath(program) + '\0' : "Exec=\"" + program + "\"\n";
    return readFile(shortcutPath()).find(wanted) != std::string::npos;
}

// Wine's reg prints "    NAME    REG_SZ    VALUE" under the key's line.
std::optional<std::string> GuiTest::registryValue(const std::string& key, const std::string& name) {
    if (!kWine) {
        return platform::registryRead(key, name);
    }
    testsupport::ToolRun query = runTool({"wine", "reg", "query", "HKLM\\" + key, "/v", name}, 30);
    size_t type = query.out.find("    REG_SZ    ");
    if (query.exitCode != 0 || type == std::string::npos) {
        return std::nullopt;
    }
    std::string value = firstLine(query.out.substr(type + 14));
    return value.substr(0, value.find('\r'));
}

// The Windows product is the build's own small window program under both
// names.
std::vector<std::pair<std::string, std::string>> GuiTest::productFiles() const {
    if (!kWine) {
        return testsupport::recordingProduct();
    }
    std::string program = readFile(HOBNAR_WIN32_RECORDING_PRODUCT);
    return {{"hobnarAudio.exe", program}, {"unInstall.exe", program}};
}

std::string GuiTest::packProduct(size_t padding) {
    std::string archive = env.root + "/package.rar";
    auto files = productFiles();
    if (padding > 0) {
        files.emplace_back("resources.pak", testsupport::randomBytes(padding));
    }
    EXPECT_TRUE(testsupport::makeRarPackage(archive, files));
    return archive;
}

void GuiTest::startInstaller(const std::string& package, const std::vector<std::string>& options) {
    backend = std::make_unique<testsupport::BackendProcess>(env.root, package, kDevPort, options);
    ASSERT_TRUE(backend->ready()) << backend->log();
    installer = std::make_unique<Installer>();
    windowId = findWindow(30);
    ASSERT_FALSE(windowId.empty()) << installer->log();
    // The window is shown first and centred afterwards, but draws itself
    // only once its message loop runs, after that: the start page seen where
    // the window is marks its final place.
    ASSERT_TRUE(waitUntil(
        [&] {
            return windowGeometry(windowId, window) &&
                   pageShown(Capture("page.png", window)) == Page::Start;
        },
        15))
        << installer->log();
}

void GuiTest::expectInstallerExitsWithZero() {
    ASSERT_TRUE(installer);
    EXPECT_EQ(installer->process().wait(30), 0) << installer->log();
}

}  // namespace guitest
