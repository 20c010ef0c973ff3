#include "tests/faults/fault_package.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "context/installer_context.h"
#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

namespace faulttest {

using testsupport::readFile;

namespace {

class RecordingObserver : public InstallObserver {
  public:
    explicit RecordingObserver(RunRecord& record) : m_record(record) {}
    void onProgress(int percent, double) override { m_record.percents.push_back(percent); }
    void onFinished() override { ++m_record.finished; }
    void onFailed(const InstallOutcome& outcome) override { m_record.failures.push_back(outcome); }

  private:
    RunRecord& m_record;
};

}  // namespace

Package makePackage(const std::string& folder, std::size_t payloadBytes, Payload kind) {
    Package package;
    package.path = folder + "/package.rar";
    // Nothing here starts the product: small stand-ins keep the package's
    // size that of the payload on every system.
    package.files = {{"hobnarAudio.exe", "the main program"}, {"unInstall.exe", "the uninstaller"}};
    package.files.emplace_back("payload.bin", kind == Payload::Random
                                                  ? testsupport::randomBytes(payloadBytes, 20240531)
                                                  : std::string(payloadBytes, '\0'));
    EXPECT_TRUE(testsupport::makeRarPackage(package.path, package.files));
    package.bytes = readFile(package.path);
    return package;
}

InstallOutcome runInstall(InstallerContext& context, const std::string& productFolder,
                          const std::string& packageUrl, const DownloadTiming& timing,
                          RunRecord& record) {
    InstallPlan plan;
    plan.productFolder = productFolder;
    plan.packageUrl = packageUrl;
    plan.timing = timing;
    InstallRun run(context, plan, std::make_unique<RecordingObserver>(record));
    InstallOutcome outcome = run.run();
    EXPECT_EQ(record.finished + record.failures.size(), 1u) << "exactly one end is reported";
    return outcome;
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
    EXPECT_FALSE(std::filesystem::exists(desktop + "/" +
                                         platform::shortcutFileName("hobnar语音文字转换器")));
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
