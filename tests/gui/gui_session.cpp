#include "tests/gui/gui_session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "platform/platform.h"

using testsupport::readFile;
using testsupport::runTool;

namespace guitest {
namespace {

std::string nextName(const std::string& stem) {
    static int counter = 0;
    return stem + "-" + std::to_string(++counter);
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

}  // namespace

bool waitUntil(const std::function<bool()>& condition, double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

// -br: a black root shows wherever the window does not cover.  -noreset:
// otherwise the server resets, refusing connections, whenever its last
// client leaves.
XvfbSession::XvfbSession()
    : server({"Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-br", "-noreset",
              "-nolisten", "tcp"},
             "xvfb-display", "xvfb.log") {
    std::string number = firstLine(testsupport::awaitFile("xvfb-display", 20, "\n"));
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

// Asked to stop, Xvfb removes its lock file and socket.
XvfbSession::~XvfbSession() {
    server.kill(SIGTERM);
    server.wait(5);
}

MapWatcher::MapWatcher()
    : output(nextName("xev") + ".out"),
      xev({"xev", "-root", "-event", "substructure", "-event", "property"}, output) {
    ready = waitUntil(
        [&] {
            runTool({"xprop", "-root", "-f", "HOBNAR_TEST_PROBE", "8s", "-set", "HOBNAR_TEST_PROBE",
                     "ready"});
            return readFile(output).find("PropertyNotify") != std::string::npos;
        },
        30);
}

// xev flushes each event as it prints it.
bool MapWatcher::sawMap() const {
    return readFile(output).find("MapNotify") != std::string::npos;
}

bool windowGeometry(const std::string& windowId, Geometry& geometry) {
    testsupport::ToolRun run = runTool({"xdotool", "getwindowgeometry", "--shell", windowId}, 15);
    bool read = run.exitCode == 0 &&
                std::sscanf(run.out.c_str(), "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d", &geometry.x,
                            &geometry.y, &geometry.width, &geometry.height) == 4;
    geometry.scale = read && geometry.width > 0 ? geometry.width / 600.0 : 1.0;
    return read;
}

namespace {

std::string screenX(const Geometry& window, int x) {
    return std::to_string(window.x + static_cast<int>(std::lround(x * window.scale)));
}

std::string screenY(const Geometry& window, int y) {
    return std::to_string(window.y + static_cast<int>(std::lround(y * window.scale)));
}

}  // namespace

bool click(const Geometry& window, Point point) {
    return runTool({"xdotool", "mousemove", screenX(window, point.x), screenY(window, point.y),
                    "click", "1", "mousemove", "1", "1"},
                   15)
               .exitCode == 0;
}

// In steps with pauses, as a hand would: the move starts only after the
// press has been seen, and each motion moves the window along.
bool drag(const Geometry& window, Point from, Point to) {
    std::vector<std::string> argv = {"xdotool"};
    for (int step = 0; step <= 5; ++step) {
        argv.insert(argv.end(), {"mousemove", screenX(window, from.x + (to.x - from.x) * step / 5),
                                 screenY(window, from.y + (to.y - from.y) * step / 5)});
        if (step == 0) {
            argv.insert(argv.end(), {"mousedown", "1"});
        }
        argv.insert(argv.end(), {"sleep", step == 0 ? "0.2" : "0.1"});
    }
    argv.insert(argv.end(), {"mouseup", "1"});
    return runTool(argv, 15).exitCode == 0;
}

bool pressKeys(const std::string& windowId, const std::vector<std::string>& keys) {
    std::vector<std::string> argv = {"xdotool", "windowfocus", windowId, "key"};
    argv.insert(argv.end(), keys.begin(), keys.end());
    return runTool(argv, 15).exitCode == 0;
}

// One connection per display for the driver's life: opening one loads the
// system's GL driver, which leaves its memory behind once a display closes
// and unloads it (LeakSanitizer then reports it from an unknown module).
GdkDisplay* displayOf(const std::string& name) {
    static std::map<std::string, GdkDisplay*> open;
    GdkDisplay*& display = open[name];
    if (display == nullptr) {
        display = gdk_display_open(name.c_str());
    }
    return display;
}

Capture::Capture(const Geometry& area) : m_scale(area.scale) {
    const char* name = std::getenv("DISPLAY");
    if (GdkDisplay* display = displayOf(name ? name : "")) {
        GdkWindow* root = gdk_screen_get_root_window(gdk_display_get_default_screen(display));
        if (GdkPixbuf* pixels =
                gdk_pixbuf_get_from_window(root, area.x, area.y, area.width, area.height)) {
            m_pixels.reset(pixels, g_object_unref);
        }
    }
}

Rgb Capture::at(int skinX, int skinY) const {
    const GdkPixbuf* image = m_pixels.get();
    int x = static_cast<int>(std::lround(skinX * m_scale));
    int y = static_cast<int>(std::lround(skinY * m_scale));
    if (!image || x < 0 || y < 0 || x >= gdk_pixbuf_get_width(image) ||
        y >= gdk_pixbuf_get_height(image)) {
        return Rgb{-1, -1, -1};
    }
    const guint8* pixel = gdk_pixbuf_read_pixels(image) + y * gdk_pixbuf_get_rowstride(image) +
                          x * gdk_pixbuf_get_n_channels(image);
    return Rgb{pixel[0], pixel[1], pixel[2]};
}

bool Capture::save(const std::string& pngPath) const {
    return m_pixels && gdk_pixbuf_save(m_pixels.get(), pngPath.c_str(), "png", nullptr, nullptr);
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

// Where the pages of the 600x400 skin differ: the start page's button under
// its hero banner, the custom page's path box and its button at the bottom
// right, the installing page's bar (y 352-360, x 48-552), the finished
// page's wide button, the failure page's two buttons with a gap between.
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
    return waitUntil([&] { return pageShown(Capture(window)) == page; }, seconds);
}

int progressWidth(const Capture& window) {
    int width = 0;
    for (int x = 48; x < 552 && isCoral(window.at(x, 356)); ++x) {
        ++width;
    }
    return width;
}

bool saveScreenshot(const Geometry& window, const std::string& name) {
    std::filesystem::create_directories(HOBNAR_SCREENSHOT_DIR);
    return Capture(window).save(std::string(HOBNAR_SCREENSHOT_DIR) + "/" + name);
}

void GuiTest::SetUp() {
    for (const char* program : {"Xvfb", "xdotool", "xev", "xprop", "rar", kWine ? "wine" : "rar"}) {
        if (runTool({"which", program}).exitCode != 0) {
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

// The Exec line of a freedesktop entry; a shell link keeps its target's
// path NUL-ended, in the system's code page.
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
std::string GuiTest::packProduct(size_t padding) {
    std::string archive = env.root + "/package.rar";
    std::string program = kWine ? readFile(HOBNAR_WIN32_RECORDING_PRODUCT) : "";
    auto files =
        kWine ? std::vector<std::pair<std::string, std::string>>{{"hobnarAudio.exe", program},
                                                                 {"unInstall.exe", program}}
              : testsupport::recordingProduct();
    if (padding > 0) {
        files.emplace_back("resources.pak", testsupport::randomBytes(padding));
    }
    EXPECT_TRUE(testsupport::makeRarPackage(archive, files));
    return archive;
}

// HOBNAR_GUI_PROGRAM names another copy of the installer, such as the one
// unpacked from the shipped zip, to drive instead of the build's own.
void GuiTest::runInstaller() {
    installerName = nextName("installer");
    const char* other = std::getenv("HOBNAR_GUI_PROGRAM");
    std::string program = other && *other ? other : HOBNAR_SETUP_PROGRAM;
    std::vector<std::string> argv = {"env"};
    argv.insert(argv.end(), installerEnvironment.begin(), installerEnvironment.end());
    if (kWine) {
        argv.push_back("wine");
    }
    argv.insert(argv.end(), {program, "dev"});
    installer = std::make_unique<testsupport::ChildProcess>(argv, installerName + ".out",
                                                            installerName + ".err");
}

std::string GuiTest::installerLog() const {
    return readFile(installerName + ".out") + readFile(installerName + ".err");
}

void GuiTest::startInstaller(const std::string& package, const std::vector<std::string>& options) {
    if (!package.empty()) {
        backend =
            std::make_unique<testsupport::BackendProcess>(env.root, package, kDevPort, options);
        ASSERT_TRUE(backend->ready()) << backend->log();
    }
    runInstaller();
    windowId = firstLine(runTool({"xdotool", "search", "--sync", "--onlyvisible", "--name",
                                  std::string("^") + kWindowTitle + "$"},
                                 30)
                             .out);
    ASSERT_FALSE(windowId.empty()) << installerLog();
    // The window is shown, then centred, and draws itself only once its
    // message loop runs: the start page seen where the window is marks its
    // final place.
    ASSERT_TRUE(waitUntil(
        [&] {
            return windowGeometry(windowId, window) && pageShown(Capture(window)) == Page::Start;
        },
        15))
        << installerLog();
}

void GuiTest::expectInstallerExitsWithZero() {
    ASSERT_TRUE(installer);
    EXPECT_EQ(installer->wait(30), 0) << installerLog();
}

}  // namespace guitest
