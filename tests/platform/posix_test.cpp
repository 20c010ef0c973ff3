// Where POSIX differs: folders from the XDG variables, then HOME, and the
// registry as an SQLite file, which another program may hold locked.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/platform.h"
#include "tests/support/test_env.h"

using testsupport::setEnv;

namespace {

const char* const kKey = "SOFTWARE\\ZorozAvuzado";

using Posix = testsupport::IsolatedTest;

TEST_F(Posix, FoldersAndTheStoreFollowTheXdgVariablesThenHome) {
    EXPECT_EQ(platform::registryStorePath(), env.registryDb);
    EXPECT_FALSE(platform::registryRead(kKey, "x") || std::filesystem::exists(env.registryDb));
    for (const char* name : {"HOBNAR_REGISTRY_DB", "XDG_DATA_HOME", "XDG_DESKTOP_DIR"}) {
        setEnv(name, "");
    }
    setEnv("XDG_STATE_HOME", "relative/ignored");
    EXPECT_EQ(platform::localAppDataDir() + "|" + platform::roamingAppDataDir() + "|" +
                  platform::desktopDir() + "|" + platform::registryStorePath(),
              env.home + "/.local/state|" + env.home + "/.local/share|" + env.home + "/Desktop|" +
                  env.home + "/.local/state/hobnar/registry.db");
    testsupport::writeFile(env.configHome + "/user-dirs.dirs",
                           "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
    EXPECT_EQ(platform::desktopDir(), env.home + "/桌面");
    setEnv("HOME", nullptr);
    EXPECT_EQ(platform::localAppDataDir() + platform::roamingAppDataDir() + platform::desktopDir() +
                  platform::registryStorePath(),
              "");
    EXPECT_FALSE(platform::registryWrite(kKey, "z", "3"));
}

// Writers at once make the store together.  Held in another's exclusive
// transaction, a write waits for it; once one has waited in vain the next fails
// at once, where a wait would outlast the lock; one getting through ends that.
TEST_F(Posix, WritersAtOnceAndALockedStoreThatCostsOneWaitPerRun) {
    auto writeMany = [](const char* name) {
        for (int i = 0; i < 50; ++i) {
            EXPECT_TRUE(platform::registryWrite(kKey, name, std::to_string(i)));
        }
    };
    std::thread other(writeMany, "y");
    writeMany("x");
    other.join();
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(env.registryDb.c_str(), &holder), SQLITE_OK);
    auto releaseLater = [holder](bool release) {  // a second into the write, or never
        if (release) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
        }
    };
    const std::pair<const char*, bool> writes[] = {
        {"20000", true}, {"300", false}, {"20000", false}};
    for (const auto& [busyMs, written] : writes) {
        sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);  // unless held still
        setEnv("HOBNAR_REGISTRY_BUSY_MS", busyMs);
        std::thread release(releaseLater, busyMs[0] == '2');
        EXPECT_EQ(platform::registryWrite(kKey, "x", busyMs), written) << busyMs;
        release.join();
    }
    EXPECT_TRUE(platform::registryWrite(kKey, "x", "4"));
    sqlite3_close(holder);
}

// A writer killed at any moment leaves each value whole: the old one or the
// new one, never a mix of the two.
TEST_F(Posix, AWriterKilledMidWriteLeavesAWholeValue) {
    const size_t size = 200000;
    ASSERT_TRUE(platform::registryWrite(kKey, "blob", std::string(size, '0')));
    for (int round = 0; round < 5; ++round) {
        pid_t writer = ::fork();
        if (writer == 0) {
            for (int letter = 0;; letter = (letter + 1) % 26) {
                platform::registryWrite(kKey, "blob", std::string(size, char('a' + letter)));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(40 + 37 * round));
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
        std::optional<std::string> value = platform::registryRead(kKey, "blob");
        ASSERT_TRUE(value && value->size() == size);
        EXPECT_EQ(value->find_first_not_of((*value)[0]), std::string::npos) << round;
    }
}

}  // namespace
