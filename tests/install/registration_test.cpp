#include <algorithm>
#include <vector>

#include "install/install.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;

namespace {

// A path written with "/" in the form of this system.
std::string native(std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kPathSep);
    return path;
}

class UninstallEntries : public IsolatedTest {};

TEST_F(UninstallEntries, SevenValuesForTheProductFolder) {
    const std::string folder = native("/home/用户/win-ia32-unpacked");
    const std::string uninstall = kUninstallRegistryKey;
    const std::vector<std::vector<std::string>> expected = {
        {uninstall, "NoModify", "1"},
        {uninstall, "DisplayIcon", native("/home/用户/win-ia32-unpacked/hobnarAudio.exe")},
        {uninstall, "DisplayName", "hobnar语音文字转换器"},
        {uninstall, "DisplayVersion", "2.0.1"},
        {uninstall, "InstallLocation", folder},
        {uninstall, "UninstallString", native("/home/用户/win-ia32-unpacked/unInstall.exe")},
        {"SOFTWARE\\ZorozAvuzado", "DisplayPath",
         native("/home/用户/win-ia32-unpacked/hobnarAudio.exe")},
    };
    InstallerContext context;
    context.version = "2.0.1";
    writeUninstallEntries(context, folder);
    for (const auto& value : expected) {
        EXPECT_EQ(platform::registryRead(value[0], value[1]), value[2]) << value[1];
    }
    context.version.clear();  // an empty value, not a missing one
    writeUninstallEntries(context, folder);
    EXPECT_EQ(platform::registryRead(kUninstallRegistryKey, "DisplayVersion"), std::string());
}

}  // namespace
