#include <glib.h>
#include <sqlite3.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "install/install.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;
using testsupport::readFile;
using testsupport::setEnv;
namespace fs = std::filesystem;

namespace {

// Rows (key, name, data) of the store in the order they were first written.
std::vector<std::vector<std::string>> rowsInWriteOrder(const std::string& db) {
    std::vector<std::vector<std::string>> rows;
    sqlite3* handle = nullptr;
    sqlite3_stmt* query = nullptr;
    sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_prepare_v2(handle,
                       "SELECT key, name, CAST(data AS TEXT) FROM registry_values ORDER BY rowid",
                       -1, &query, nullptr);
    while (query && sqlite3_step(query) == SQLITE_ROW) {
        rows.push_back({});
        for (int column = 0; column < 3; ++column) {
            const unsigned char* text = sqlite3_column_text(query, column);
            rows.back().push_back(text ? reinterpret_cast<const char*>(text) : "");
        }
    }
    sqlite3_finalize(query);
    sqlite3_close(handle);
    return rows;
}

class UninstallEntries : public IsolatedTest {};

TEST_F(UninstallEntries, SevenValuesInOrder) {
    const std::string folder = "/home/u/.local/share/win-ia32-unpacked";
    const std::string uninstall = kUninstallRegistryKey;
    const std::vector<std::vector<std::string>> expected = {
        {uninstall, "NoModify", "1"},
        {uninstall, "DisplayIcon", folder + "/hobnarAudio.exe"},
        {uninstall, "DisplayName", "hobnar语音文字转换器"},
        {uninstall, "DisplayVersion", "2.0.1"},
        {uninstall, "InstallLocation", folder},
        {uninstall, "UninstallString", folder + "/unInstall.exe"},
        {"SOFTWARE\\ZorozAvuzado", "DisplayPath", folder + "/hobnarAudio.exe"},
    };
    InstallerContext context;
    context.installDir = folder;
    context.version = "2.0.1";
    size_t before = rowsInWriteOrder(env.registryDb).size();
    writeUninstallEntries(context);
    std::vector<std::vector<std::string>> rows = rowsInWriteOrder(env.registryDb);
    ASSERT_EQ(rows.size(), before + 7);
    EXPECT_EQ(std::vector<std::vector<std::string>>(rows.begin() + before, rows.end()), expected);
    EXPECT_EQ(readRegistryString(context.registryKeyPath, "DisplayPath"),
              folder + "/hobnarAudio.exe");

    context.version.clear();  // an empty value, not a missing one
    writeUninstallEntries(context);
    EXPECT_EQ(platform::registryRead(kUninstallRegistryKey, "DisplayVersion"), std::string());
}

class Shortcut : public IsolatedTest {
  protected:
    std::string userLink() const { return env.desktop + "/" + kShortcutFileName; }
    std::string target = "/opt/x/win-ia32-unpacked/hobnarAudio.exe";
};

TEST_F(Shortcut, LinkPathsFromTheDesktopAndTheRegistry) {
    ShortcutLinks links = shortcutLinkPaths();
    EXPECT_EQ(fromWide(links.userLink), userLink());
    EXPECT_TRUE(links.commonLink.empty());

    writeRegistryString("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                        "Common Desktop", "/srv/公共桌面/");
    setEnv("XDG_DESKTOP_DIR", nullptr);
    setEnv("HOME", nullptr);
    links = shortcutLinkPaths();
    EXPECT_TRUE(links.userLink.empty());
    EXPECT_EQ(fromWide(links.commonLink), std::string("/srv/公共桌面/") + kShortcutFileName);
}

TEST_F(Shortcut, UserDesktopFirstThenFallbackNeverBesideTheRoot) {
    std::string common = env.root + "/common";
    fs::create_directories(common);
    std::wstring commonLink = toWide(common + "/" + kShortcutFileName);

    ASSERT_TRUE(createShortcut(target, toWide(userLink()), commonLink));
    EXPECT_EQ(readFile(userLink()), desktopEntryText(target));
    EXPECT_EQ(fs::status(userLink()).permissions() & fs::perms::all, fs::perms(0755));
    EXPECT_FALSE(fs::exists(common + "/" + kShortcutFileName));

    // A desktop folder that is missing is made, as a fresh account lacks one.
    fs::remove_all(env.desktop);
    ASSERT_TRUE(createShortcut(target, toWide(userLink()), commonLink));
    EXPECT_TRUE(fs::exists(userLink()));
    EXPECT_FALSE(fs::exists(common + "/" + kShortcutFileName));

    // A desktop below a plain file cannot be written, whoever runs this.
    testsupport::writeFile(env.root + "/plain file", "x");
    std::wstring unwritable = toWide(env.root + "/plain file/desktop/" + kShortcutFileName);
    ASSERT_TRUE(createShortcut(target, unwritable, commonLink));
    EXPECT_TRUE(fs::exists(common + "/" + kShortcutFileName));

    fs::remove(common + "/" + kShortcutFileName);
    EXPECT_TRUE(createShortcut(target, L"", commonLink));
    EXPECT_FALSE(createShortcut(target, L"", L""));
    EXPECT_FALSE(createShortcut(target, unwritable, L""));
    EXPECT_FALSE(fs::exists(std::string("/") + kShortcutFileName));
    EXPECT_FALSE(fs::exists(kShortcutFileName));
}

// The entry is read back the way desktops do (GLib's key file and Exec
// argument parsing), so quoting faults show up as a different program path.
TEST_F(Shortcut, DesktopEntryRoundTripsAnyTargetPath) {
    const std::string targets[] = {
        "/opt/hobnar/win-ia32-unpacked/hobnarAudio.exe",
        "/home/u/My Apps/x  y/win-ia32-unpacked/hobnarAudio.exe",
        "/tmp/it's \"quoted\"/$(rm -rf ~)/a;b`c`&d/hobnarAudio.exe",
        "/tmp/back\\slash/100%/tab\there/hobnarAudio.exe",
        "/home/用户/语音 文字/hobnarAudio.exe",
        " /leading blank/hobnarAudio.exe",
    };
    for (const std::string& path : targets) {
        std::string text = desktopEntryText(path);
        GKeyFile* file = g_key_file_new();
        ASSERT_TRUE(
            g_key_file_load_from_data(file, text.c_str(), text.size(), G_KEY_FILE_NONE, nullptr))
            << text;
        gchar* type = g_key_file_get_string(file, "Desktop Entry", "Type", nullptr);
        gchar* name = g_key_file_get_string(file, "Desktop Entry", "Name", nullptr);
        gchar* exec = g_key_file_get_string(file, "Desktop Entry", "Exec", nullptr);
        gchar* folder = g_key_file_get_string(file, "Desktop Entry", "Path", nullptr);
        EXPECT_STREQ(type, "Application");
        EXPECT_STREQ(name, "hobnar语音文字转换器");
        gint argc = 0;
        gchar** argv = nullptr;
        ASSERT_TRUE(exec && g_shell_parse_argv(exec, &argc, &argv, nullptr)) << text;
        ASSERT_EQ(argc, 1) << exec;
        std::string program = argv[0];
        for (size_t at = program.find("%%"); at != std::string::npos;
             at = program.find("%%", at + 1)) {
            program.erase(at, 1);
        }
        EXPECT_EQ(program, path) << exec;
        EXPECT_EQ(std::string(folder ? folder : ""), path.substr(0, path.rfind('/'))) << text;
        g_strfreev(argv);
        g_free(type);
        g_free(name);
        g_free(exec);
        g_free(folder);
        g_key_file_free(file);
    }
}

TEST(WideText, Utf8RoundTripAndReplacement) {
    const std::pair<std::string, std::wstring> rows[] = {
        {"abc", L"abc"},
        {"hobnar语音", L"hobnar\u8bed\u97f3"},
        {"\xc3\xbc\xf0\x9f\x8e\xa4", L"\u00fc\U0001F3A4"},
    };
    for (const auto& [narrow, wide] : rows) {
        EXPECT_EQ(toWide(narrow), wide) << narrow;
        EXPECT_EQ(fromWide(wide), narrow) << narrow;
    }
    // Stray, truncated, overlong and surrogate sequences.
    EXPECT_EQ(toWide("a\xff"
                     "b\xe8\xaf\xc0\xaf\xed\xa0\x80"),
              L"a\uFFFDb" + std::wstring(7, L'\uFFFD'));
}

}  // namespace
