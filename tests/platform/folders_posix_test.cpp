// Known folders on a freedesktop system: the XDG variables, then HOME.
#include "platform/platform.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;
using testsupport::setEnv;

namespace {

class KnownFolders : public IsolatedTest {};

TEST_F(KnownFolders, FollowTheXdgVariablesThenHome) {
    EXPECT_EQ(platform::localAppDataDir(), env.stateHome);
    EXPECT_EQ(platform::roamingAppDataDir(), env.dataHome);
    EXPECT_EQ(platform::desktopDir(), env.desktop);

    setEnv("XDG_STATE_HOME", "relative/ignored");
    setEnv("XDG_DATA_HOME", "");
    EXPECT_EQ(platform::localAppDataDir(), env.home + "/.local/state");
    EXPECT_EQ(platform::roamingAppDataDir(), env.home + "/.local/share");

    setEnv("XDG_DESKTOP_DIR", nullptr);
    EXPECT_EQ(platform::desktopDir(), env.home + "/Desktop");
    testsupport::writeFile(env.configHome + "/user-dirs.dirs",
                           "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
    EXPECT_EQ(platform::desktopDir(), env.home + "/桌面");

    setEnv("HOME", nullptr);
    setEnv("XDG_STATE_HOME", nullptr);
    setEnv("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(platform::localAppDataDir(), "");
    EXPECT_EQ(platform::roamingAppDataDir(), "");
    EXPECT_EQ(platform::desktopDir(), "");
}

}  // namespace
