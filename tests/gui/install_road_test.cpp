// Whole installations through the window: a RAR package made now, served by
// the real backend, downloaded, unpacked, registered and started; a damaged
// package ending on the failure page; a slow link showing the progress page.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/gui/gui_fixture.h"

using namespace guitest;
using testsupport::readFile;

namespace {

constexpr const char* kProductKey = "SOFTWARE\\ZorozAvuzado";
constexpr const char* kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvmZorozAvuzado";
constexpr const char* kDesktopEntry = "/hobnar语音文字转换器.desktop";

// A REG_SZ value of the registry file; nullopt when it is missing or of
// another type.
std::optional<std::string> registryString(const std::string& db, const std::string& key,
                                          const std::string& name) {
    sqlite3* handle = nullptr;
    std::optional<std::string> value;
    if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* query = nullptr;
        const char* sql = "SELECT type, data FROM registry_values WHERE key = ?1 AND name = ?2";
        if (sqlite3_prepare_v2(handle, sql, -1, &query, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(query, 1, key.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(query, 2, name.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(query) == SQLITE_ROW && sqlite3_column_int(query, 0) == 1) {
                const void* data = sqlite3_column_blob(query, 1);
                int size = sqlite3_column_bytes(query, 1);
                value = size > 0 ? std::string(static_cast<const char*>(data), size) : "";
            }
        }
        sqlite3_finalize(query);
    }
    sqlite3_close(handle);
    return value;
}

size_t lineCount(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Width of the filled part of the progress bar (x 48-552 at y 356).
int progressWidth(const Capture& shot) {
    int width = 0;
    for (int x = 48; x < 552 && isCoral(shot.at(x, 356)); ++x) {
        ++width;
    }
    return width;
}

class Installation : public GuiTest {
  protected:
    std::string exePath() const { return productFolder() + "/hobnarAudio.exe"; }

    std::optional<std::string> registry(const char* key, const std::string& name) const {
        return registryString(env.registryDb, key, name);
    }

    void expectInstalled(const std::vector<PackageFile>& files) {
        expectInstalledIn(productFolder(), files);
    }

    void expectInstalledIn(const std::string& folder, const std::vector<PackageFile>& files) {
        const std::string exe = folder + "/hobnarAudio.exe";
        for (const PackageFile& file : files) {
            EXPECT_EQ(readFile(folder + "/" + file.name), file.content) << file.name;
        }
        EXPECT_FALSE(std::filesystem::exists(folder + ".rar")) << "archive left behind";

        const std::pair<std::string, std::string> uninstall[] = {
            {"NoModify", "1"},
            {"DisplayIcon", exe},
            {"DisplayName", "hobnar语音文字转换器"},
            {"DisplayVersion", "2.0.1"},
            {"InstallLocation", folder},
            {"UninstallString", folder + "/unInstall.exe"},
        };
        for (const auto& [name, data] : uninstall) {
            EXPECT_EQ(registry(kUninstallKey, name), data) << name;
        }
        EXPECT_EQ(registry(kProductKey, "DisplayPath"), exe);

        std::string entry = readFile(env.desktop + kDesktopEntry);
        EXPECT_NE(entry.find("Type=Application\n"), std::string::npos) << entry;
        EXPECT_NE(entry.find("Exec=\"" + exe + "\"\n"), std::string::npos) << entry;
        EXPECT_NE(entry.find("Path=" + folder + "\n"), std::string::npos) << entry;
        EXPECT_NE(entry.find("Name=hobnar语音文字转换器\n"), std::string::npos) << entry;
    }
};

TEST_F(Installation, WholeRoadFromStartButtonToTheRunningProduct) {
    std::vector<PackageFile> files = productFiles(marker());
    // The same watcher as for the second run below must see this window.
    auto firstRun = std::make_unique<MapWatcher>();
    ASSERT_TRUE(firstRun->ready);
    ASSERT_NO_FATAL_FAILURE(startInstaller(packProduct(files)));
    EXPECT_TRUE(firstRun->sawMap());
    firstRun.reset();

    ASSERT_TRUE(click(window, at::kStartButton));
    parkPointer();
    Page seen = Page::Unknown;
    ASSERT_TRUE(waitForPage(window, Page::Finished, 60, &seen)) << pageName(seen) << "\n"
                                                                << installer->log();
    EXPECT_FALSE(saveScreenshot(window, "page3-finished.png").empty());
    expectInstalled(files);
    EXPECT_EQ(backend->events(), (std::vector<std::string>{"pc_show_install", "pc_click_install",
                                                           "pc_Installing", "pc_install_success"}));
    EXPECT_EQ(readFile(marker()), "");

    ASSERT_TRUE(click(window, at::kOpenButton));
    ASSERT_NO_FATAL_FAILURE(expectInstallerExitsWithZero());
    EXPECT_TRUE(waitUntil([&] { return readFile(marker()) == "started\n"; }, 10));
    EXPECT_EQ(backend->events().back(), "pc_click_use");
    EXPECT_FALSE(windowExists(windowId));

    // A second run finds the product installed: it starts it and leaves
    // without a window and without reaching the backend.
    size_t eventsBefore = backend->events().size();
    MapWatcher secondRun;
    ASSERT_TRUE(secondRun.ready);
    installer = std::make_unique<Installer>();
    ASSERT_NO_FATAL_FAILURE(expectInstallerExitsWithZero());
    EXPECT_TRUE(waitUntil([&] { return lineCount(readFile(marker())) == 2; }, 10))
        << readFile(marker());
    EXPECT_FALSE(secondRun.sawMap()) << "the second run mapped a window";
    EXPECT_EQ(backend->events().size(), eventsBefore);
}

// The custom page's folder dialog: cancelling it leaves the shown folder as
// it was; a chosen folder (with a blank in its name) receives the product, and
// the registration and the desktop entry point there.
TEST_F(Installation, FolderChosenOnTheCustomPageReceivesTheProduct) {
    constexpr const char* kDialogTitle = "从下面选择文件或文件夹:";
    const Geometry pathBox{32, 130, 436, 40};
    std::vector<PackageFile> files = productFiles(marker());
    ASSERT_NO_FATAL_FAILURE(startInstaller(packProduct(files)));
    const std::string chosen = env.root + "/chosen place";
    std::filesystem::create_directories(chosen);

    ASSERT_TRUE(click(window, at::kCustomInstallLink));
    parkPointer();
    ASSERT_TRUE(waitForPage(window, Page::CustomInstall, 10));
    Capture before("before.png", window);
    ASSERT_TRUE(click(window, at::kBrowseButton));
    std::string dialog = findWindow(30, kDialogTitle);
    ASSERT_FALSE(dialog.empty()) << installer->log();
    ASSERT_TRUE(pressKey(dialog, "Escape"));
    EXPECT_TRUE(waitUntil([&] { return findWindow(0, kDialogTitle).empty(); }, 10));
    parkPointer();
    EXPECT_TRUE(sameArea(before, Capture("cancelled.png", window), pathBox));

    ASSERT_TRUE(click(window, at::kBrowseButton));
    dialog = findWindow(30, kDialogTitle);
    ASSERT_FALSE(dialog.empty());
    // The path goes into the location field, opened from the home folder.
    ASSERT_TRUE(pressKey(dialog, "alt+Home"));
    ASSERT_TRUE(pressKey(dialog, "ctrl+l"));
    ASSERT_TRUE(typeText(dialog, chosen + "/"));
    ASSERT_TRUE(pressKey(dialog, "Return"));
    EXPECT_TRUE(waitUntil([&] { return findWindow(0, kDialogTitle).empty(); }, 10));
    parkPointer();
    EXPECT_TRUE(
        waitUntil([&] { return !sameArea(before, Capture("chosen.png", window), pathBox); }, 10));

    ASSERT_TRUE(click(window, at::kStartButton2));
    parkPointer();
    Page seen = Page::Unknown;
    ASSERT_TRUE(waitForPage(window, Page::Finished, 60, &seen)) << pageName(seen) << "\n"
                                                                << installer->log();
    expectInstalledIn(chosen + "/win-ia32-unpacked", files);
    EXPECT_FALSE(std::filesystem::exists(productFolder()));
}

// A package that is no RAR archive downloads fine but cannot be unpacked:
// the failure page, nothing registered, no success reported.
TEST_F(Installation, DamagedPackageEndsOnTheFailurePage) {
    std::string damaged = env.root + "/damaged.rar";
    testsupport::writeFile(damaged, std::string(64 * 1024, 'x') + "Rar!\x1a\x07");
    ASSERT_NO_FATAL_FAILURE(startInstaller(damaged));

    ASSERT_TRUE(click(window, at::kStartButton));
    parkPointer();
    Page seen = Page::Unknown;
    ASSERT_TRUE(waitForPage(window, Page::Failed, 60, &seen)) << pageName(seen) << "\n"
                                                              << installer->log();
    EXPECT_FALSE(saveScreenshot(window, "page4-failed.png").empty());

    EXPECT_EQ(registry(kProductKey, "DisplayPath"), std::nullopt);
    EXPECT_EQ(registry(kUninstallKey, "UninstallString"), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(env.desktop + kDesktopEntry));
    EXPECT_FALSE(std::filesystem::exists(exePath()));
    EXPECT_EQ(backend->events(),
              (std::vector<std::string>{"pc_show_install", "pc_click_install", "pc_Installing"}));

    ASSERT_TRUE(click(window, at::kFailCloseButton));
    ASSERT_NO_FATAL_FAILURE(expectInstallerExitsWithZero());
    EXPECT_EQ(backend->events().back(), "pc_close_install");
    EXPECT_EQ(readFile(marker()), "");
}

// After a damaged package the retry button fetches the package again, so a
// repaired server leads to a complete installation.
TEST_F(Installation, RetryAfterTheServerIsRepairedCompletes) {
    std::string damaged = env.root + "/damaged.rar";
    testsupport::writeFile(damaged, std::string(64 * 1024, 'x'));
    ASSERT_NO_FATAL_FAILURE(startInstaller(damaged));
    ASSERT_TRUE(click(window, at::kStartButton));
    parkPointer();
    Page seen = Page::Unknown;
    ASSERT_TRUE(waitForPage(window, Page::Failed, 60, &seen)) << pageName(seen);

    backend.reset();
    std::vector<PackageFile> files = productFiles(marker());
    backend = std::make_unique<Backend>(packProduct(files));
    ASSERT_TRUE(backend->listening) << backend->log();
    ASSERT_TRUE(click(window, at::kRetryButton));
    parkPointer();
    ASSERT_TRUE(waitForPage(window, Page::Finished, 60, &seen)) << pageName(seen) << "\n"
                                                                << installer->log();
    expectInstalled(files);
    EXPECT_EQ(backend->events(),
              (std::vector<std::string>{"pc_show_install", "pc_click_install", "pc_Installing",
                                        "pc_Installing", "pc_install_success"}));
}

// Over a capped link the installing page stays up while its bar grows, and
// the installation still completes.
TEST_F(Installation, SlowDownloadShowsGrowingProgress) {
    std::vector<PackageFile> files = productFiles(marker(), 3 * 1000 * 1000);
    ASSERT_NO_FATAL_FAILURE(startInstaller(packProduct(files), {"--bandwidth", "400000"}));

    ASSERT_TRUE(click(window, at::kStartButton));
    parkPointer();
    Page seen = Page::Unknown;
    ASSERT_TRUE(waitForPage(window, Page::Installing, 20, &seen)) << pageName(seen);
    int first = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            first = progressWidth(Capture("progress.png", window));
            return first > 0;
        },
        30))
        << installer->log();
    int later = first;
    EXPECT_TRUE(waitUntil(
        [&] {
            Capture shot("progress.png", window);
            later = progressWidth(shot);
            // A quarter of the bar or more makes a telling screenshot.
            return later > first && later >= 126 && pageShown(shot) == Page::Installing;
        },
        30))
        << first << " -> " << later;
    EXPECT_FALSE(saveScreenshot(window, "page2-installing.png").empty());

    ASSERT_TRUE(waitForPage(window, Page::Finished, 60, &seen)) << pageName(seen);
    expectInstalled(files);
}

// Closing the window while the download thread still runs ends the process
// at once and cleanly; the half-done installation registers nothing.
TEST_F(Installation, CloseDuringTheDownloadEndsTheProcess) {
    std::vector<PackageFile> files = productFiles(marker(), 3 * 1000 * 1000);
    ASSERT_NO_FATAL_FAILURE(startInstaller(packProduct(files), {"--bandwidth", "200000"}));
    ASSERT_TRUE(click(window, at::kStartButton));
    parkPointer();
    ASSERT_TRUE(waitUntil([&] { return progressWidth(Capture("progress.png", window)) > 0; }, 30))
        << installer->log();

    ASSERT_TRUE(click(window, at::kCloseButton));
    ASSERT_NO_FATAL_FAILURE(expectInstallerExitsWithZero());
    EXPECT_EQ(backend->events(), (std::vector<std::string>{"pc_show_install", "pc_click_install",
                                                           "pc_Installing", "pc_close_install"}));
    EXPECT_EQ(registry(kProductKey, "DisplayPath"), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(env.desktop + kDesktopEntry));
}

}  // namespace
