// The unattended mode of the real program against the real backend on the
// test port.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>

#include "context/installer_context.h"
#include "platform/platform.h"
#include "tests/support/backend_process.h"

using testsupport::BackendProcess;
using testsupport::ChildProcess;
using testsupport::nativePath;
using testsupport::readFile;

namespace {

const int kTestPort = 18080;  // the test servers the program is built with
const char* const kKey = "SOFTWARE\\ZorozAvuzado";

class SilentInstall : public testsupport::IsolatedTest {
  protected:
    std::string package() {
        std::string path = env.root + "/package.rar";
        EXPECT_TRUE(testsupport::makeRarPackage(path, testsupport::recordingProduct()));
        return path;
    }
    int runInstaller(const std::vector<std::string>& arguments) {
        // HOBNAR_SILENT_PROGRAM names another copy, such as the shipped one alone in a folder.
        const char* other = std::getenv("HOBNAR_SILENT_PROGRAM");
        std::vector<std::string> argv = {other && *other ? other : HOBNAR_SETUP_PROGRAM,
                                         "--silent"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return testsupport::ChildProcess(argv, env.root + "/setup.out", env.root + "/setup.err")
            .wait(120);
    }
    std::string errorLine() { return readFile(env.root + "/setup.err"); }
    std::string desktopEntry() {
        return env.desktop + "/" + platform::shortcutFileName("hobnar语音文字转换器");
    }
};

// A relative --dir is taken against the working folder (the test's) and
// registered as the absolute folder it names; its blanks, letters and "dev"
// change no switch.  A second run finds the product.
TEST_F(SilentInstall, InstallsRegistersLinksAndReportsInOrder) {
    BackendProcess backend(env.root, package(), kTestPort);
    ASSERT_TRUE(backend.ready());
    ASSERT_EQ(runInstaller({"--dir=my_dev apps 中文 $(touch pwned)", "dev"}), 0) << errorLine();

    std::string product =
        env.root + nativePath("/my_dev apps 中文 $(touch pwned)/win-ia32-unpacked");
    EXPECT_TRUE(readFile(product + "/unInstall.exe") == testsupport::recordingProduct()[1].second);
    EXPECT_EQ(platform::readRegistryString(kKey, "DisplayPath"),
              product + nativePath("/hobnarAudio.exe"));
    EXPECT_EQ(platform::readRegistryString(kKey, "promoteId"), "guanwang");
    EXPECT_EQ(platform::readRegistryString(kKey, "devMode"), "1");
    EXPECT_EQ(readFile(env.stateHome + "/hobnarAudio/bdviddata"), "");
    EXPECT_FALSE(std::filesystem::exists(env.root + "/pwned"));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(desktopEntry())));
    EXPECT_EQ(backend.eventNames(),
              (std::vector<std::string>{"pc_show_install", "pc_click_install", "pc_Installing",
                                        "pc_install_success"}));
    // The run's news on standard output: progress, each unpacked entry, the end.
    std::string out = readFile(env.root + "/setup.out");
    for (const std::string& line :
         {std::string("已下载：100%"), std::string("\nhobnarAudio.exe"), "installed: " + product}) {
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    }

    ASSERT_EQ(runInstaller({"dev"}), 0) << "a second run finds the product";
    EXPECT_EQ(backend.eventNames().size(), 4u);
}

// tinyproxy (it takes no port 0: random ports until one is free), logging
// every request it forwards into `log`; false when none started.
bool startProxy(const std::string& log, int& port, std::unique_ptr<ChildProcess>& proxy) {
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 8; ++attempt) {
        port = std::uniform_int_distribution<int>(20000, 60000)(random);
        testsupport::writeFile(log + ".conf", "Port " + std::to_string(port) +
                                                  "\nListen 127.0.0.1\nLogLevel Info\nLogFile \"" +
                                                  testsupport::hostPath(log) + "\"\n");
        testsupport::writeFile(log, "");
        proxy = std::make_unique<ChildProcess>(std::vector<std::string>{
            "tinyproxy", "-d", "-c", testsupport::hostPath(log + ".conf")});
        while (proxy->running() &&
               readFile(log).find("Accepting connections") == std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (proxy->running()) {
            return true;
        }
    }
    return false;
}

// Behind the system's proxy every request goes through it: the questions,
// the events and the package; an address its bypass list names goes direct.
TEST_F(SilentInstall, GoesThroughTheSystemProxyUnlessItsBypassListSaysOtherwise) {
    BackendProcess backend(env.root, package(), kTestPort);
    ASSERT_TRUE(backend.ready());
    for (bool bypass : {false, true}) {
        std::string log = env.root + (bypass ? "/direct.log" : "/proxied.log");
        int port = 0;
        std::unique_ptr<ChildProcess> proxy;
        ASSERT_TRUE(startProxy(log, port, proxy));
        testsupport::setSystemProxy("127.0.0.1:" + std::to_string(port), bypass);
        ASSERT_EQ(runInstaller({"--dir=" + env.root + (bypass ? "/b" : "/a"), "dev"}), 0)
            << errorLine();
        ASSERT_TRUE(platform::registryDelete(kKey, "DisplayPath"));
        std::string seen = readFile(log);
        for (const char* path :
             {"GET /v1/app/client/getInstallInfo", "GET /v1/app/client/getApkChannel",
              "POST /v1/app/operationLog/saveLog", "GET /client/win/mainprogram/"}) {
            std::string request =
                std::string(path).insert(path[0] == 'G' ? 4 : 5, "http://127.0.0.1:18080");
            EXPECT_EQ(seen.find("): " + request) != std::string::npos, !bypass) << request;
        }
    }
    EXPECT_EQ(backend.eventNames().size(), 8u);
}

TEST_F(SilentInstall, FailuresExitNonZeroWithAReasonAndRegisterNothing) {
    // Elevated from an ordinary prompt, the log is all a caller has.
    std::string log = env.root + "/setup.log";
    EXPECT_EQ(runInstaller({"/LOG=" + log, "/TIMEOUT=soon"}), 64) << "a wrong command line";
    EXPECT_NE(readFile(log).find("--timeout"), std::string::npos) << readFile(log);
    EXPECT_NE(readFile(log).find("exit code 64"), std::string::npos) << readFile(log);
    EXPECT_EQ(runInstaller({"dev"}), 2) << "no backend at all";
    EXPECT_NE(
        errorLine().find("hobnar-setup: the backend at http://127.0.0.1:18080 did not answer"),
        std::string::npos)
        << errorLine();

    std::string damaged = env.root + "/damaged.rar";
    testsupport::writeFile(damaged, "this is not a RAR archive, just an error page");
    BackendProcess backend(env.root, damaged, kTestPort);
    ASSERT_TRUE(backend.ready());
    EXPECT_EQ(runInstaller({"dev"}), 5) << errorLine();
    std::string product = env.dataHome + nativePath("/win-ia32-unpacked");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(product))) << "left empty";
    EXPECT_FALSE(platform::fileExists(install::archivePathFor(product) + ".download"));
    EXPECT_EQ(backend.eventNames(),
              (std::vector<std::string>{"pc_show_install", "pc_click_install", "pc_Installing"}));

    bool busy = false;
    platform::FileHandle held =
        platform::lockFile(env.dataHome + nativePath("/win-ia32-unpacked.lock"), busy);
    ASSERT_TRUE(held.isOpen());
    EXPECT_EQ(runInstaller({"dev"}), 8) << "another installation holds the folder";
    EXPECT_NE(errorLine().find("another installation into this folder is running"),
              std::string::npos)
        << errorLine();
}

// Without a display a windowed run would wait unseen for ever: it says so in
// one line and ends before anything reaches the backend.
TEST_F(SilentInstall, WithoutADisplayAWindowedRunSaysSoAndSendsNothing) {
    if (platform::kPathSep != '/') {
        GTEST_SKIP() << "a Windows program always has its desktop to show a window on";
    }
    BackendProcess backend(env.root, package(), kTestPort);
    ASSERT_TRUE(backend.ready());
    testsupport::setEnv("DISPLAY", nullptr);
    testsupport::setEnv("WAYLAND_DISPLAY", nullptr);
    testsupport::ChildProcess setup({HOBNAR_SETUP_PROGRAM, "dev"}, env.root + "/setup.out",
                                    env.root + "/setup.err");
    EXPECT_EQ(setup.wait(60), 69);
    EXPECT_EQ(errorLine(),
              "hobnar-setup: there is no display to show the installer on; --silent installs "
              "without one\n");
    EXPECT_TRUE(backend.eventNames().empty());
}

}  // namespace
