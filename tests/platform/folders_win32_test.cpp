// Known folders on Windows: the shell's answer for the user's settings (the
// test environment points them into its temporary folder, the desktop under
// a Chinese name, as on a Chinese user's profile).
#include "platform/platform.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;

namespace {

class KnownFolders : public IsolatedTest {};

TEST_F(KnownFolders, FollowTheUsersShellFolders) {
    EXPECT_EQ(platform::localAppDataDir(), env.stateHome);
    EXPECT_EQ(platform::roamingAppDataDir(), env.dataHome);
    EXPECT_EQ(platform::desktopDir(), env.desktop);
    EXPECT_NE(env.desktop.find("桌面"), std::string::npos);

    env.hideLocalAppData();
    EXPECT_EQ(platform::localAppDataDir(), "") << "a folder that does not exist is unavailable";
    EXPECT_EQ(platform::roamingAppDataDir(), env.dataHome);
}

}  // namespace
