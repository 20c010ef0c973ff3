// The real unattended installer against the real backend on the test port
// the program is built with: the package checked against its announced
// digest and, by a program built with a signing key, against its minisign
// signature; killed in the middle of the download and started again.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "tests/faults/fault_package.h"
#include "tests/support/backend_process.h"

namespace {

using faulttest::Package;
using testsupport::BackendProcess;
using testsupport::ChildProcess;
using testsupport::hostPath;
using testsupport::readFile;

using namespace install;
const int kTestPort = 18080;

enum class Signature { None, Good, Wrong, OfOtherBytes, ForAnOlderVersion };

// install information whose "sha256" is `digest` verbatim.
std::vector<std::string> announcing(const std::string& digest) {
    return {
        "--reply",
        "/v1/app/client/getInstallInfo="
        R"({"success":"1","obj":{"size":"1","version":"2.0.1","sha256":")" +
            digest +
            R"(","url":"http://127.0.0.1:18080/client/win/mainprogram/win-ia32-unpacked.rar"}})"};
}

struct CheckRow {
    const char* name;
    std::vector<std::string> backendOptions;
    bool signedProgram;  // the program built with the test signing key
    Signature signature;
    int exitStatus;
    const char* saying;  // in the log, and the one line on standard error
};

void PrintTo(const CheckRow& row, std::ostream* out) {
    *out << row.name;
}

const CheckRow kRows[] = {
    {"TheAnnouncedDigestMatches", {}, false, Signature::None, 0, "matches its digest"},
    {"NoDigestInstallsUnchecked", {"--no-digest"}, false, Signature::None, 0, "not checked"},
    {"AWrongDigestInstallsNothing", {"--wrong-digest"}, false, Signature::None, 14, "SHA-256"},
    {"AGoodSignatureInstalls", {}, true, Signature::Good, 0, "signature verifies"},
    {"AMissingSignatureInstallsNothing", {"--no-digest"}, true, Signature::None, 15, "fetched"},
    {"ATamperedSignatureInstallsNothing", {"--no-digest"}, true, Signature::Wrong, 15, "altered"},
    {"AnAlteredPackageInstallsNothing", {}, true, Signature::OfOtherBytes, 15, "altered"},
    {"AnUnsignedBuildAsksForNoSignature", {}, false, Signature::Wrong, 0, "matches its digest"},
    {"AnOlderSignedPackageInstallsNothing",
     {"--no-digest"},
     true,
     Signature::ForAnOlderVersion,
     15,
     "another version"},
    {"ADigestWithAPrefixInstallsNothing", announcing("sha256:" + std::string(64, 'a')), false,
     Signature::None, 14, "malformed"},
    {"AnEmptyDigestInstallsNothing", announcing(""), false, Signature::None, 14, "malformed"},
};

class SilentFaults : public testsupport::IsolatedTest {
  protected:
    std::unique_ptr<ChildProcess> startInstaller(bool signedProgram, const std::string& log = "",
                                                 const std::string& timeout = "") {
        std::vector<std::string> argv = {
            signedProgram ? HOBNAR_SIGNED_SETUP_PROGRAM : HOBNAR_SETUP_PROGRAM, "--silent", "dev"};
        if (!log.empty()) {
            argv.push_back("--log=" + log);
        }
        if (!timeout.empty()) {
            argv.push_back("--timeout=" + timeout);
        }
        return std::make_unique<ChildProcess>(argv, env.root + "/setup.out",
                                              env.root + "/setup.err");
    }
    std::string product() const { return env.dataHome + platform::kPathSep + "win-ia32-unpacked"; }
};

class PackageChecks : public SilentFaults, public ::testing::WithParamInterface<CheckRow> {};

TEST_P(PackageChecks, OnlyTheAnnouncedAndSignedPackageIsInstalled) {
    const CheckRow& row = GetParam();
    Package package = faulttest::makePackage(env.root, 40 * 1024);
    std::vector<std::string> options = row.backendOptions;
    if (row.signature != Signature::None) {
        // Made with the test key, as operators make them.
        testsupport::ToolRun signing = testsupport::runTool(
            {"minisign", "-S", "-s", hostPath(HOBNAR_TEST_SIGNING_KEY), "-m",
             hostPath(package.path), "-x", hostPath(env.root + "/package.minisig"), "-t",
             row.signature == Signature::ForAnOlderVersion ? "version:2.0.0" : "version:2.0.1"});
        ASSERT_EQ(signing.exitCode, 0) << signing.err;
        if (row.signature == Signature::OfOtherBytes) {
            // Someone on the way hands out other bytes (and their digest).
            package = faulttest::makePackage(env.root, 41 * 1024);
        }
        options.insert(options.end(), {"--signature", hostPath(env.root + "/package.minisig")});
        if (row.signature == Signature::Wrong) {
            options.push_back("--wrong-signature");
        }
    }
    BackendProcess backend(env.root, package.path, kTestPort, options);
    ASSERT_TRUE(backend.ready()) << backend.log();

    std::string log = env.root + "/setup.log";
    EXPECT_EQ(startInstaller(row.signedProgram, log)->wait(120), row.exitStatus)
        << readFile(env.root + "/setup.err");
    EXPECT_NE(readFile(log).find(row.saying), std::string::npos) << readFile(log);
    std::vector<std::string> events = backend.eventNames();
    EXPECT_EQ(std::count(events.begin(), events.end(), "pc_install_success"),
              row.exitStatus == 0 ? 1 : 0);
    if (row.exitStatus == 0) {
        faulttest::expectInstalled(product(), package);
        return;
    }
    faulttest::expectDownloadFailedCleanly(product(), env.desktop, package);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(product() + ".rar")))
        << "the bytes that failed their check are gone";
    EXPECT_NE(readFile(env.root + "/setup.err").find(row.saying), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Silent, PackageChecks, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<CheckRow>& row) {
                             return std::string(row.param.name);
                         });

// A run killed, or ended by its --timeout, in the middle of the download
// leaves its partial archive and the record of which package it is part of;
// the next run continues it exactly where it ends.  Its log tells the whole
// story.  The timeout holds whatever the backend does: one that never
// answers ends in time too, with the timeout's status and reason.
class Interrupted : public SilentFaults, public ::testing::WithParamInterface<bool> {};

TEST_P(Interrupted, DuringTheDownloadThenStartedAgainContinues) {
    bool byTimeout = GetParam();
    Package package = faulttest::makePackage(env.root, 600 * 1024);
    if (byTimeout) {
        BackendProcess hung(env.root, package.path, kTestPort, {"--stall", "3600"});
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(startInstaller(false, "", "2")->wait(60), 16);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(12));
        EXPECT_NE(readFile(env.root + "/setup.err").find("did not finish within --timeout"),
                  std::string::npos);
    }
    BackendProcess backend(env.root, package.path, kTestPort, {"--bandwidth", "300000"});
    ASSERT_TRUE(backend.ready());

    auto setup = startInstaller(false, "", byTimeout ? "1" : "");
    std::string archive = archivePathFor(product());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!byTimeout && readFile(archive).size() < 100 * 1024 && setup->running() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (byTimeout) {
        ASSERT_EQ(setup->wait(30), 16) << readFile(env.root + "/setup.err");
    } else {
        setup->kill(testsupport::kKillSignal);
        ASSERT_EQ(setup->wait(30), 128 + testsupport::kKillSignal) << "the download ended first";
    }
    std::string partial = readFile(archive);
    EXPECT_LT(partial.size(), package.bytes.size());
    faulttest::expectDownloadFailedCleanly(product(), env.desktop, package);

    std::string log = env.root + "/setup.log";
    ASSERT_EQ(startInstaller(false, log)->wait(120), 0) << readFile(env.root + "/setup.err");
    faulttest::expectInstalled(product(), package);
    std::vector<std::string> events = backend.eventNames();
    EXPECT_EQ(std::count(events.begin(), events.end(), "pc_install_success"), 1);
    std::vector<faulttest::Served> served = faulttest::packageRequests(backend.log());
    ASSERT_GE(served.size(), 2u);
    EXPECT_EQ(served.back().from, static_cast<std::int64_t>(partial.size()))
        << "the second run continues exactly where the archive ended";

    std::string text = readFile(log);
    for (const char* told :
         {"^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]+Z ", "unattended installation; backend http",
          "downloading http.* into .*win-ia32-unpacked", "continuing the archive",
          "attempt 1: HTTP 206", "matches its digest", "unpacked [0-9]+ entries", "exit code 0$"}) {
        EXPECT_TRUE(std::regex_search(text, std::regex(told, std::regex::multiline)))
            << told << "\n"
            << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Silent, Interrupted, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& row) {
                             return std::string(row.param ? "ByItsTimeout" : "Killed");
                         });

}  // namespace
