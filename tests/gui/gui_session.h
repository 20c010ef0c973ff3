// The real programs under a virtual display, for the window tests: one Xvfb
// server per test, the reference backend on the installer's development port,
// the installer itself, and the X tools (xdotool, xev, x11_shot) that look at
// and drive its window.
//
// The same sources build two suites: gui_test drives the Linux program, and
// gui_wine_test (a program of the build machine too, built by the Windows
// build) drives the Windows one under Wine, each test inside its own copy of
// the test run's Wine prefix (scripts/wine-test-run.sh --host).
//
// Every process is a ChildProcess owned by one of these objects and is ended
// by its destructor, so a failing assertion still leaves nothing running.
// Every wait polls against a deadline.  All paths are relative to the test's
// temporary folder (the current folder of an IsolatedTest).
#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace guitest {

// `hobnar-setup dev` talks to this port (compiled in); tests that start a
// backend hold the CTest resource lock of this port.
constexpr int kDevPort = 18080;
constexpr const char* kWindowTitle = "安装包下载器";
// The Windows program under Wine (gui_wine_test).
constexpr bool kWine = HOBNAR_GUI_WINE != 0;

// Polls `condition` every `pollMs` until it holds or `seconds` have passed.
bool waitUntil(const std::function<bool()>& condition, double seconds, int pollMs = 100);

// An Xvfb server on a display it picks itself (-displayfd); DISPLAY and the
// variables that keep GTK and D-Bus quiet are set for every later child.
class XvfbSession {
  public:
    XvfbSession();
    ~XvfbSession();
    std::string display;  // ":N"; empty when the server did not come up

  private:
    std::unique_ptr<testsupport::ChildProcess> m_server;
};

// One run of the installer with the given arguments.
class Installer {
  public:
    explicit Installer(const std::vector<std::string>& args = {"dev"});
    ~Installer();
    testsupport::ChildProcess& process() { return *m_process; }
    std::string log() const;  // standard output, then standard error

  private:
    std::unique_ptr<testsupport::ChildProcess> m_process;
    std::string m_name;
};

// Watches the root window for windows being mapped (xev), from the moment
// the constructor returns: it waits until xev has reported a probe property
// change of its own, so nothing that happens later is missed.
class MapWatcher {
  public:
    MapWatcher();
    ~MapWatcher();
    bool ready = false;
    bool sawMap() const;

  private:
    std::string m_output;
    std::unique_ptr<testsupport::ChildProcess> m_xev;
};

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
constexpr Point kBackButton{368, 354};
constexpr Point kOpenButton{300, 310};
constexpr Point kFailCloseButton{222, 310};
}  // namespace at

// Id of the mapped window with exactly this title; empty when none appears
// in time.
std::string findWindow(double seconds, const std::string& title = kWindowTitle);
bool windowExists(const std::string& windowId);
bool windowGeometry(const std::string& windowId, Geometry& geometry);

// Real pointer and keyboard input through the XTEST extension.  Points are in
// coordinates of `window`.  Clicks park the pointer away from the window
// afterwards, so no control shows its hover look in a capture.
bool click(const Geometry& window, Point point);
bool drag(const Geometry& window, Point from, Point to);
bool pressKey(const std::string& windowId, const std::string& key);

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
bool isCoral(Rgb pixel);  // the brand colour in its normal, hover or pressed look

enum class Page { Start, CustomInstall, Installing, Finished, Failed, Unknown };
Page pageShown(const Capture& window);
// Captures the window until it shows `page`; false after `seconds`.
bool waitForPage(const Geometry& window, Page page, double seconds);
// Width of the filled part of the installing page's progress bar.
int progressWidth(const Capture& window);
// Writes a capture of the window to the suite's screenshot folder
// (<build>/screenshots, <Windows build>/screenshots-win32); true when written.
bool saveScreenshot(const Geometry& window, const std::string& name);

// Fixture: an isolated HOME/XDG/registry, a private Xvfb, and the backend
// and the installer's window brought up on demand.
class GuiTest : public testsupport::IsolatedTest {
  protected:
    // Skips when Xvfb, xdotool, xev, xprop, rar (or wine) is missing; starts
    // the display.
    void SetUp() override;

    // The recording product: tests/support's, or the Windows build's program.
    std::vector<std::pair<std::string, std::string>> productFiles() const;
    // The recording product (plus `padding` random bytes, so that a capped
    // download takes a while) packed into "package.rar"; returns its path.
    std::string packProduct(size_t padding = 0);
    // Serves `package` (with the backend's fault `options`), runs
    // `hobnar-setup dev` and waits for its start page: fills windowId and window.
    void startInstaller(const std::string& package, const std::vector<std::string>& options = {});
    void expectInstallerExitsWithZero();
    std::vector<std::string> events() const { return backend->eventNames(); }

    // Where the program puts things, as paths of the build machine: the
    // test's own folders, or those of the Wine prefix's user.
    std::string productFolder() const;
    std::string marker() const { return productFolder() + "/started"; }
    std::string shortcutPath() const;
    // A path of the build machine as the program names it (under Wine, the
    // Windows path of a file on the prefix's drive C:).
    std::string programPath(const std::string& path) const;
    // Whether the desktop shortcut starts `program` (a freedesktop entry's
    // Exec line, or the target a shell link names).
    bool shortcutStarts(const std::string& program) const;
    // A string value under HKEY_LOCAL_MACHINE.
    std::optional<std::string> registryValue(const std::string& key, const std::string& name);

    // Declared in start order: destroyed installer first, display last.
    std::unique_ptr<XvfbSession> xvfb;
    std::unique_ptr<testsupport::BackendProcess> backend;
    std::unique_ptr<Installer> installer;
    std::string windowId;
    Geometry window;
};

}  // namespace guitest
