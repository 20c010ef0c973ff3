// The real programs under a virtual display, for the window tests: one Xvfb
// server per test, the reference backend on the installer's development port,
// the installer itself, and the X tools (xdotool, x11_shot) that look at and
// drive its window.
//
// Every process is a ChildProcess owned by one of these objects and is ended
// by its destructor, so a failing assertion still leaves nothing running.
// Every wait polls against a deadline.  All paths are relative to the test's
// temporary folder (the current folder of an IsolatedTest).
#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace guitest {

// `hobnar-setup dev` talks to this port (compiled in); tests that start a
// backend hold the CTest resource lock of this port.
constexpr int kDevPort = 18080;
constexpr const char* kWindowTitle = "安装包下载器";
constexpr const char* kPackageRoute = "/client/win/mainprogram/win-ia32-unpacked.rar";

bool onPath(const std::string& program);

// Polls `condition` every `pollMs` until it holds or `seconds` have passed.
bool waitUntil(const std::function<bool()>& condition, double seconds, int pollMs = 100);

// A short tool run: exit code (-1 after a time-out) and standard output.
struct ToolRun {
    int exitCode = -1;
    std::string out;
};
ToolRun runTool(const std::vector<std::string>& argv, double timeoutSeconds = 15);

// An Xvfb server on a display it picks itself (-displayfd); DISPLAY and the
// variables that keep GTK and D-Bus quiet are set for every later child.
class XvfbSession {
  public:
    XvfbSession();
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    std::string display;  // ":N"; empty when the server did not come up
    std::string log() const;

  private:
    std::unique_ptr<testsupport::ChildProcess> m_server;
};

// hobnar-backend serving `package` on kDevPort with the given extra options,
// its events in "events.db".
class Backend {
  public:
    explicit Backend(const std::string& package, const std::vector<std::string>& options = {});
    ~Backend();
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    bool listening = false;
    std::string log() const;
    // The "btnId" of every stored event, oldest first.
    std::vector<std::string> events() const;
    bool waitForEvent(const std::string& name, double seconds) const;

  private:
    std::unique_ptr<testsupport::ChildProcess> m_server;
};

// One run of the installer with the given arguments.
class Installer {
  public:
    explicit Installer(const std::vector<std::string>& args = {"dev"});
    ~Installer();
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    testsupport::ChildProcess& process() { return *m_process; }
    std::string log() const;  // standard output, then standard error

  private:
    std::unique_ptr<testsupport::ChildProcess> m_process;
    std::string m_name;
};

// The files of a product package: "hobnarAudio.exe", a script that appends a
// line to `marker` each time it runs, and "unInstall.exe"; with `padding` > 0
// also "resources.pak" of that many random bytes, so that a capped download
// takes a while.
struct PackageFile {
    std::string name;
    std::string content;
    bool executable = false;
};
std::vector<PackageFile> productFiles(const std::string& marker, size_t padding = 0);
// Packs the files with `rar` at the archive's root; true on success.
bool makeRarPackage(const std::string& archive, const std::vector<PackageFile>& files);

// Watches the root window for windows being mapped (xev), from the moment
// the constructor returns: it waits until xev has reported a probe property
// change of its own, so nothing that happens later is missed.
class MapWatcher {
  public:
    MapWatcher();
    ~MapWatcher();
    MapWatcher(const MapWatcher&) = delete;
    MapWatcher& operator=(const MapWatcher&) = delete;

    bool ready = false;
    bool sawMap() const;

  private:
    std::string m_output;
    std::unique_ptr<testsupport::ChildProcess> m_xev;
};

// --- The installer's window -------------------------------------------------

struct Geometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Centres of the controls in the 600x400 skin, in window coordinates.
struct Point {
    int x;
    int y;
};
namespace at {
constexpr Point kTitleLabel{150, 20};
constexpr Point kCloseButton{578, 20};
constexpr Point kStartButton{300, 272};
constexpr Point kAgreementBox{32, 365};
constexpr Point kCustomInstallLink{543, 365};
constexpr Point kBackButton{368, 354};
constexpr Point kStartButton2{498, 354};
constexpr Point kBrowseButton{524, 150};
constexpr Point kOpenButton{300, 310};
constexpr Point kFailCloseButton{222, 310};
constexpr Point kRetryButton{378, 310};
}  // namespace at

// Id of the mapped window with exactly this title; empty when none appears
// in time.
std::string findWindow(double seconds, const std::string& title = kWindowTitle);
bool windowExists(const std::string& windowId);
bool windowGeometry(const std::string& windowId, Geometry& geometry);

// Real pointer and keyboard input through the XTEST extension.  Points are in
// coordinates of `window`.
bool click(const Geometry& window, Point point);
bool drag(const Geometry& window, Point from, Point to);
bool pressKey(const std::string& windowId, const std::string& key);
bool typeText(const std::string& windowId, const std::string& text);
void parkPointer();  // away from the window, so no control shows its hover look

// A PNG capture of a screen rectangle (x11_shot), readable pixel by pixel.
struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
};
class Capture {
  public:
    Capture(const std::string& pngPath, const Geometry& area);
    bool ok() const { return m_surface != nullptr; }
    Rgb at(int x, int y) const;

  private:
    std::shared_ptr<cairo_surface_t> m_surface;
};

bool near(Rgb pixel, Rgb expected, int tolerance = 8);
// True when the two captures agree on every pixel of the rectangle.
bool sameArea(const Capture& a, const Capture& b, Geometry area);
bool isCoral(Rgb pixel);  // the brand colour in its normal, hover or pressed look

enum class Page { Start, CustomInstall, Installing, Finished, Failed, Unknown };
const char* pageName(Page page);
Page pageShown(const Capture& window);
// Captures the window into "page.png" until it shows `page`; false after
// `seconds` (the last page seen is left in `seen`).
bool waitForPage(const Geometry& window, Page page, double seconds, Page* seen = nullptr);

// Writes a capture of the window to <build>/screenshots/<name>; returns its path.
std::string saveScreenshot(const Geometry& window, const std::string& name);

}  // namespace guitest
