// The desktop shortcut as a freedesktop entry: where it goes, the fallback to
// the all-users desktop, and what a desktop reads back from it.
#include <glib.h>

#include <filesystem>
#include <regex>

#include "install/install.h"
#include "install/registration.h"
#include "tests/support/test_env.h"

using namespace install;
using testsupport::setEnv;
namespace fs = std::filesystem;

namespace {

class Shortcut : public testsupport::IsolatedTest {
  protected:
    std::string link(const std::string& folder) const {
        return folder + "/" + platform::shortcutFileName(kDisplayName);
    }
    std::string target = "/opt/x/win-ia32-unpacked/hobnarAudio.exe";
};

TEST_F(Shortcut, UserDesktopFirstThenTheCommonOneNeverBesideTheRoot) {
    std::string common = env.root + "/common";
    fs::create_directories(common);
    // A desktop folder that is missing is made, as a fresh account lacks one.
    fs::remove_all(env.desktop);
    ShortcutLinks links = shortcutLinkPaths();
    EXPECT_EQ(links.userLink, link(env.desktop));
    EXPECT_TRUE(links.commonLink.empty());
    ASSERT_TRUE(createShortcut(target, links.userLink, link(common)));
    EXPECT_EQ(fs::status(link(env.desktop)).permissions() & fs::perms::all, fs::perms(0755));
    EXPECT_FALSE(fs::exists(link(common)));

    // A desktop below a plain file cannot be written, whoever runs this.
    testsupport::writeFile(env.root + "/plain file", "x");
    std::string unwritable = link(env.root + "/plain file/desktop");
    ASSERT_TRUE(createShortcut(target, unwritable, link(common)));
    EXPECT_TRUE(fs::exists(link(common)));
    EXPECT_FALSE(createShortcut(target, "", ""));
    EXPECT_FALSE(createShortcut(target, unwritable, ""));
    EXPECT_FALSE(fs::exists("/" + platform::shortcutFileName(kDisplayName)));

    platform::writeRegistryString(
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Common Desktop",
        "/srv/公共桌面/");
    setEnv("XDG_DESKTOP_DIR", nullptr);
    setEnv("HOME", nullptr);
    links = shortcutLinkPaths();
    EXPECT_TRUE(links.userLink.empty());
    EXPECT_EQ(links.commonLink, link("/srv/公共桌面"));
}

// The entry written for a product folder holding every character the format
// must escape is read back the way desktops do (GLib's key file and Exec
// argument parsing), so a quoting fault shows as another program path.
TEST_F(Shortcut, WrittenEntryStartsExactlyTheTarget) {
    for (std::string path :
         {"/tmp/it's \"quoted\"/$(rm -rf ~)/a;b`c`&d/back\\slash/100%/tab\there/hobnarAudio.exe",
          " /home/用户/My Apps/x  y/语音 文字/hobnarAudio.exe"}) {
        ASSERT_TRUE(createShortcut(path, link(env.desktop), ""));
        g_autoptr(GKeyFile) file = g_key_file_new();
        ASSERT_TRUE(
            g_key_file_load_from_file(file, link(env.desktop).c_str(), G_KEY_FILE_NONE, nullptr));
        g_autofree gchar* name = g_key_file_get_string(file, "Desktop Entry", "Name", nullptr);
        g_autofree gchar* exec = g_key_file_get_string(file, "Desktop Entry", "Exec", nullptr);
        g_autofree gchar* folder = g_key_file_get_string(file, "Desktop Entry", "Path", nullptr);
        EXPECT_STREQ(name, "hobnar语音文字转换器");
        gint argc = 0;
        g_auto(GStrv) argv = nullptr;
        ASSERT_TRUE(exec && g_shell_parse_argv(exec, &argc, &argv, nullptr)) << exec;
        ASSERT_EQ(argc, 1) << exec;
        // In Exec "%%" is a literal "%"; any other "%X" is a field code, not the path's.
        EXPECT_EQ(std::regex_replace(argv[0], std::regex("%(.)"), "$1"), path) << exec;
        EXPECT_EQ(std::string(folder ? folder : ""), path.substr(0, path.rfind('/')));
        // GLib reads a bare "$" or "`" inside quotes literally; the format
        // (and desktops that run Exec through a shell) want them escaped.
        for (char special : {'$', '`'}) {
            if (path.find(special) != std::string::npos) {
                EXPECT_NE(std::string(exec).find(std::string("\\") + special), std::string::npos)
                    << exec;
            }
        }
    }
}

}  // namespace
