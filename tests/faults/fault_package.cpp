#include "tests/faults/fault_package.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "install/registration.h"
#include "tests/support/backend_process.h"

namespace faulttest {

using testsupport::readFile;

namespace {

// Stands in for the installer context: records the events a run reports.
struct RecordingBackend : InstallBackend {
    std::string fetchText(const std::string&, Deadline) override { return {}; }
    void reportEvent(int, const std::string& btnId) override { events.push_back(btnId); }
    std::vector<std::string> events;
};

struct RecordingObserver : InstallObserver {
    void onProgress(int percent, double) override { percents.push_back(percent); }
    void onEntryUnpacked(const std::string&) override {}
    void onFinished() override { ends.emplace_back(); }
    void onFailed(const InstallOutcome& outcome) override { ends.push_back(outcome); }
    std::vector<int> percents;
    std::vector<InstallOutcome> ends;
};

}  // namespace

Package makePackage(const std::string& folder, std::size_t payloadBytes, Payload kind) {
    Package package;
    package.path = folder + "/package.rar";
    package.files = {{"hobnarAudio.exe", "the main program"}, {"unInstall.exe", "the uninstaller"}};
    package.files.emplace_back("payload.bin", kind == Payload::Random
                                                  ? testsupport::randomBytes(payloadBytes, 20240531)
                                                  : std::string(payloadBytes, '\0'));
    EXPECT_TRUE(testsupport::makeRarPackage(package.path, package.files));
    package.bytes = readFile(package.path);
    return package;
}

RunResult runInstall(const std::string& packageUrl, const std::string& productFolder,
                     const DownloadTiming& timing, std::int64_t announcedSize,
                     const std::string& sha256) {
    RecordingBackend backend;
    InstallPlan plan;
    plan.productFolder = productFolder;
    plan.registryKey = kProductKey;
    plan.package = knownPackage({packageUrl, announcedSize, sha256, "2.0.1", true});
    plan.timing = timing;
    auto observer = std::make_unique<RecordingObserver>();
    const RecordingObserver& heard = *observer;
    InstallRun run(plan, backend, std::move(observer));
    RunResult result{run.run(), heard.percents, backend.events};
    EXPECT_EQ(heard.ends.size(), 1u) << "exactly one end is reported";
    EXPECT_TRUE(heard.ends.empty() || heard.ends[0].failure == result.outcome.failure);
    return result;
}

std::vector<Served> packageRequests(const std::string& backendLog) {
    const std::regex line("GET " + std::string(kPackagePath) +
                          " (?:range=bytes=([0-9]+)- )?status=([0-9]+) sent=([0-9]+)");
    std::vector<Served> served;
    for (std::sregex_iterator it(backendLog.begin(), backendLog.end(), line), end; it != end;
         ++it) {
        const std::smatch& match = *it;
        served.push_back({match[1].matched ? std::stoll(match[1]) : 0, std::stoi(match[2]),
                          std::stoll(match[3])});
    }
    return served;
}

void expectInstalled(const std::string& productFolder, const Package& package) {
    for (const auto& [name, content] : package.files) {
        std::string installed = readFile(productFolder + "/" + name);
        EXPECT_TRUE(installed == content)
            << name << ": " << installed.size() << " bytes instead of " << content.size();
    }
    EXPECT_FALSE(std::filesystem::exists(archivePathFor(productFolder)));
    EXPECT_EQ(platform::readRegistryString(kProductKey, "DisplayPath"),
              mainExecutableIn(productFolder));
}

void expectDownloadFailedCleanly(const std::string& productFolder, const std::string& desktop,
                                 const Package& package) {
    EXPECT_EQ(platform::readRegistryString(kProductKey, "DisplayPath"), "");
    EXPECT_EQ(platform::readRegistryString(kUninstallRegistryKey, "DisplayName"), "");
    EXPECT_FALSE(std::filesystem::exists(desktop + "/" +
                                         platform::shortcutFileName("hobnar语音文字转换器")));
    std::error_code ec;
    EXPECT_TRUE(!std::filesystem::exists(productFolder) ||
                std::filesystem::is_empty(productFolder, ec))
        << "product files in " << productFolder;
    std::string left = readFile(archivePathFor(productFolder));
    EXPECT_TRUE(left.size() <= package.bytes.size() &&
                package.bytes.compare(0, left.size(), left) == 0)
        << "the archive holds bytes that are not the package's";
}

}  // namespace faulttest
