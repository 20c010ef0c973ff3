// The real programs under a private Xvfb: the reference backend, the
// installer (gui_test: the Linux one; gui_wine_test: the Windows one under
// Wine, in the test's copy of the run's prefix) and the X tools that drive
// it.  Everything blocks on the test's thread; every process is owned by a
// ChildProcess that ends it, so a failed assertion leaves nothing running.
// Relative paths are in the test's temporary folder (its current folder).
#pragma once

#include <gdk/gdk.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace guitest {

// Compiled into `hobnar-setup dev`; tests that serve it hold the CTest
// resource lock of this port.
constexpr int kDevPort = 18080;
constexpr const char* kWindowTitle = "安装包下载器";
constexpr bool kWine = HOBNAR_GUI_WINE != 0;

bool waitUntil(const std::function<bool()>& condition, double seconds);

// Xvfb on a display it picks itself; DISPLAY, and what keeps GTK and D-Bus
// quiet, are set for every later child.
class XvfbSession {
  public:
    XvfbSession();
    ~XvfbSession();
    testsupport::ChildProcess server;
    std::string display;  // ":N"; empty when the server did not come up
};

// Records the windows mapped from the moment the constructor returns (it
// waits until xev reports a probe of its own, so nothing later is missed).
class MapWatcher {
  public:
    MapWatcher();
    bool sawMap() const;
    std::string output;
    testsupport::ChildProcess xev;
    bool ready = false;
};

// A window on the screen in device pixels; `scale` device pixels per skin
// pixel (its width over the skin's 600).
struct Geometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    double scale = 1.0;
};

// Centres of controls of the 600x400 skin, in skin pixels of the window
// (click, drag and Capture::at scale them by the window's scale).
struct Point {
    int x;
    int y;
};
namespace at {
constexpr Point kTitleLabel{150, 20};
constexpr Point kCloseButton{578, 20};
constexpr Point kStartButton{300, 272};
constexpr Point kBackButton{368, 354};
constexpr Point kCustomLink{536, 365};
constexpr Point kFailCloseButton{222, 310};
}  // namespace at

bool windowGeometry(const std::string& windowId, Geometry& geometry);

// Real input through XTEST, at points of `window`.  A click parks the
// pointer outside the window, so no capture shows a hover look.
bool click(const Geometry& window, Point point);
bool drag(const Geometry& window, Point from, Point to);
// Focuses the window, then types the keys (xdotool's names) in order.
bool pressKeys(const std::string& windowId, const std::vector<std::string>& keys);

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
};
// The screen's pixels in a rectangle, taken through the driver's own connection.
class Capture {
  public:
    explicit Capture(const Geometry& area);
    Rgb at(int x, int y) const;  // {-1, -1, -1} outside or without a capture
    bool save(const std::string& pngPath) const;

  private:
    std::shared_ptr<GdkPixbuf> m_pixels;
    double m_scale = 1.0;
};

bool near(Rgb pixel, Rgb expected, int tolerance = 8);
bool isCoral(Rgb pixel);  // the brand colour in its normal, hover or pressed look

enum class Page { Start, CustomInstall, Installing, Finished, Failed, Unknown };
Page pageShown(const Capture& window);
bool waitForPage(const Geometry& window, Page page, double seconds);
// Width of the filled part of the installing page's progress bar.
int progressWidth(const Capture& window);
// Into the suite's screenshot folder (<build>/screenshots, or
// <Windows build>/screenshots-win32).
bool saveScreenshot(const Geometry& window, const std::string& name);

// Fixture: an isolated HOME/XDG/registry and a private Xvfb; the backend and
// the installer's window on demand.
class GuiTest : public testsupport::IsolatedTest {
  protected:
    void SetUp() override;  // skips when an X tool, rar (or wine) is missing

    // The recording product (tests/support's, or the Windows build's), plus `padding` random bytes
    // (a capped download then takes a while), packed into package.rar; returns its path.
    std::string packProduct(size_t padding = 0);
    // Serves `package` (none: no backend listens) with the backend's fault
    // `options`, runs `hobnar-setup dev` and waits for its start page
    // (windowId, window).
    void startInstaller(const std::string& package, const std::vector<std::string>& options = {});
    // `hobnar-setup dev` (once more), its output kept for installerLog().
    void runInstaller();
    std::string installerLog() const;
    void expectInstallerExitsWithZero();
    std::vector<std::string> events() const { return backend->eventNames(); }

    // Where the program puts things, as the build machine's paths (under
    // Wine, in the prefix's user folder).
    std::string productFolder() const;
    std::string marker() const { return productFolder() + "/started"; }
    std::string shortcutPath() const;
    // A build machine's path as the program names it (Wine: C:\...).
    std::string programPath(const std::string& path) const;
    bool shortcutStarts(const std::string& program) const;
    std::optional<std::string> registryValue(const std::string& key, const std::string& name);

    // Destroyed in reverse: the installer first, the display last.
    std::unique_ptr<XvfbSession> xvfb;
    std::unique_ptr<testsupport::BackendProcess> backend;
    std::unique_ptr<testsupport::ChildProcess> installer;
    std::string installerName;
    // NAME=VALUE settings for the installer alone (not this process, whose
    // own display connection must stay unscaled).
    std::vector<std::string> installerEnvironment;
    std::string windowId;
    Geometry window;
};

}  // namespace guitest
