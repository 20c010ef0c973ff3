// Fixture of the window tests: an isolated HOME/XDG/registry, a private Xvfb,
// and helpers that bring up the backend and the installer's window.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/gui/gui_session.h"
#include "tests/support/test_env.h"

namespace guitest {

class GuiTest : public testsupport::IsolatedTest {
  protected:
    // Skips when Xvfb, xdotool, xev or rar is missing; starts the display.
    void SetUp() override;

    // Packs `files` into "package.rar" in the test folder and returns its path.
    std::string packProduct(const std::vector<PackageFile>& files);
    // Serves `package` (with the backend's fault `options`), runs
    // `hobnar-setup dev` and waits for its window: fills windowId and window.
    void startInstaller(const std::string& package, const std::vector<std::string>& options = {});
    // Waits for the installer to exit and checks that it did so with 0.
    void expectInstallerExitsWithZero();

    std::string productFolder() const { return env.dataHome + "/win-ia32-unpacked"; }
    std::string marker() const { return env.root + "/product-started"; }

    // Declared in start order: destroyed installer first, display last.
    std::unique_ptr<XvfbSession> xvfb;
    std::unique_ptr<Backend> backend;
    std::unique_ptr<Installer> installer;
    std::string windowId;
    Geometry window;
};

}  // namespace guitest
