#include "tests/faults/fault_package.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "context/installer_context.h"
#include "install/install.h"
#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace faulttest {

using testsupport::readFile;

Package makePackage(const std::string& folder, std::size_t payloadBytes, Payload kind) {
    Package package;
    package.path = folder + "/package.rar";
    package.files = testsupport::recordingProduct();
    package.files.emplace_back("payload.bin", kind == Payload::Random
                                                  ? testsupport::randomBytes(payloadBytes, 20240531)
                                                  : std::string(payloadBytes, '\0'));
    EXPECT_TRUE(testsupport::makeRarPackage(package.path, package.files));
    package.bytes = readFile(package.path);
    return package;
}

void expectInstalled(const std::string& productFolder, const Package& package) {
    for (const auto& [name, content] : package.files) {
        std::string installed = readFile(productFolder + "/" + name);
        EXPECT_TRUE(installed == content)
            << name << ": " << installed.size() << " bytes instead of " << content.size();
    }
    EXPECT_FALSE(std::filesystem::exists(archivePathFor(productFolder)));
    EXPECT_EQ(readRegistryString(kProductRegistryKey, "DisplayPath"),
              mainExecutableIn(productFolder));
}

void expectNotRegistered(const std::string& desktop) {
    EXPECT_EQ(readRegistryString(kProductRegistryKey, "DisplayPath"), "");
    EXPECT_EQ(readRegistryString(kUninstallRegistryKey, "DisplayName"), "");
    EXPECT_FALSE(std::filesystem::exists(desktop + "/" + kShortcutFileName));
}

void expectDownloadFailedCleanly(const std::string& productFolder, const std::string& desktop,
                                 const Package& package) {
    expectNotRegistered(desktop);
    std::error_code ec;
    EXPECT_TRUE(!std::filesystem::exists(productFolder) ||
                std::filesystem::is_empty(productFolder, ec))
        << "product files in " << productFolder;
    std::string left = readFile(archivePathFor(productFolder));
    EXPECT_LE(left.size(), package.bytes.size());
    EXPECT_TRUE(package.bytes.compare(0, left.size(), left) == 0)
        << "the archive holds bytes that are not the package's";
}

}  // namespace faulttest
