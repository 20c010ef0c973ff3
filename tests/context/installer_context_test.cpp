#include <sqlite3.h>

#include <filesystem>
#include <thread>

#include "context/installer_context.h"
#include "identity/identity.h"
#include "platform/platform.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const char* const kKey = "SOFTWARE\\ZorozAvuzado";

// Records every write into the store, in order, through SQLite triggers; the
// installer itself knows nothing of it.
class WriteLog {
  public:
    explicit WriteLog(const std::string& dbPath) {
        sqlite3_open(dbPath.c_str(), &m_db);
        exec("PRAGMA journal_mode=WAL");
        exec(
            "CREATE TABLE IF NOT EXISTS registry_values(key TEXT NOT NULL COLLATE NOCASE, name "
            "TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY "
            "(key, name))");
        exec("CREATE TABLE write_log(seq INTEGER PRIMARY KEY, name TEXT)");
        exec(
            "CREATE TRIGGER log_insert AFTER INSERT ON registry_values BEGIN "
            "INSERT INTO write_log(name) VALUES (new.name); END");
        exec(
            "CREATE TRIGGER log_update AFTER UPDATE ON registry_values BEGIN "
            "INSERT INTO write_log(name) VALUES (new.name); END");
    }
    ~WriteLog() { sqlite3_close(m_db); }

    std::vector<std::string> names() {
        std::vector<std::string> result;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(m_db, "SELECT name FROM write_log ORDER BY seq", -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            result.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        }
        sqlite3_finalize(stmt);
        return result;
    }
    void clear() { exec("DELETE FROM write_log"); }

  private:
    void exec(const char* sql) { sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }
    sqlite3* m_db = nullptr;
};

class InstallerContextTest : public IsolatedTest {
  protected:
    std::string paramDataFile() const { return env.stateHome + "/hobnarAudio/paramdata"; }
};

TEST_F(InstallerContextTest, FirstRunOnACleanMachineCreatesTheIdentity) {
    WriteLog log(env.registryDb);
    InstallerContext context;

    EXPECT_EQ(context.pcId.size(), 32u);
    EXPECT_EQ(context.pcId.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(context.systemVersion, identity::windowsVersionName());
    EXPECT_EQ(log.names(),
              (std::vector<std::string>{"apkId", "pcId", "systemVersion", "apkVersionCode",
                                        "phoneMaker", "phoneModel", "phoneOs", "selfPath"}));
    EXPECT_EQ(readRegistryString(kKey, "pcId"), context.pcId);
    EXPECT_EQ(readRegistryString(kKey, "apkId"), "1");
    EXPECT_EQ(readRegistryString(kKey, "phoneOs"), "2");
    EXPECT_EQ(readRegistryString(kKey, "selfPath"), platform::programFilePath());
    EXPECT_EQ(context.paramDataPath, paramDataFile());
    EXPECT_EQ(context.installedVersion, "");
}

TEST_F(InstallerContextTest, SecondRunReusesTheStoredIdentity) {
    WriteLog log(env.registryDb);
    std::string firstId = InstallerContext().pcId;
    writeRegistryString(kKey, "systemVersion", "Windows7");
    writeRegistryString(kKey, "version", "2.0.1");
    writeFile(paramDataFile(), "FALSE,2.0.1,1,fromparamdata,Windows7,guanwang,guanwang,1,");
    log.clear();

    InstallerContext second;
    EXPECT_EQ(second.pcId, firstId);
    EXPECT_EQ(second.systemVersion, "Windows7") << "a stored name stays in use";
    EXPECT_EQ(second.installedVersion, "2.0.1");
    EXPECT_EQ(log.names(), (std::vector<std::string>{"apkId", "apkVersionCode", "phoneMaker",
                                                     "phoneModel", "phoneOs", "selfPath"}));
}

TEST_F(InstallerContextTest, IdentityComesBackFromParamData) {
    EXPECT_EQ(InstallerContext().readPcIdFromParamData(), "") << "no file";
    for (const char* unusable : {"", "   \n", "TRUE,2.0.1"}) {
        writeFile(paramDataFile(), unusable);
        EXPECT_EQ(InstallerContext().readPcIdFromParamData(), "") << unusable;
    }
    platform::registryDelete(kKey, "pcId");
    writeFile(paramDataFile(), "FALSE,2.0.1,1,0123abcd,Windows XP Professional x64 Edition,7,x,1,");
    InstallerContext recovered;
    EXPECT_EQ(recovered.pcId, "0123abcd");
    EXPECT_EQ(readRegistryString(kKey, "pcId"), "0123abcd");

    platform::registryDelete(kKey, "pcId");
    writeFile(paramDataFile(), "FALSE,2.0.1,1,,Windows10,guanwang,guanwang,1,");
    InstallerContext fresh;
    EXPECT_EQ(fresh.pcId.size(), 32u) << "an empty field 4 gives a fresh identifier";
}

TEST(ParamDataWord, FieldFour) {
    const std::pair<const char*, const char*> rows[] = {
        {"FALSE,2.0.1,1,ab12,Windows7,10086,guanwang,1,", "ab12"},
        {"TRUE,2.0.1,1,ab12", "ab12"},
        {"a,b,c,d,", "d"},
        {"FALSE,2.0.1,1,,Windows10,guanwang,guanwang,1,", ""},
        {"a,b,c,", ""},
        {"a,b,c", ""},
        {"a,b", ""},
        {"", ""},
        {",,,x", "x"},
    };
    for (const auto& [word, field] : rows) {
        EXPECT_EQ(pcIdFromParamDataWord(word), field) << word;
    }
}

TEST_F(InstallerContextTest, ParamDataLineIsExact) {
    InstallerContext context;
    context.devMode = true;
    context.pcId = "ab12";
    context.systemVersion = "Windows7";
    context.promoteId = "10086";
    std::filesystem::create_directories(env.stateHome + "/hobnarAudio");
    context.writeParamData();
    EXPECT_EQ(readFile(paramDataFile()), "TRUE,2.0.1,1,ab12,Windows7,10086,guanwang,1,");

    context.devMode = false;
    context.version = "2.3.0";
    context.systemVersion = "Windows XP Professional x64 Edition";
    context.writeParamData();
    EXPECT_EQ(readFile(paramDataFile()),
              "FALSE,2.3.0,1,ab12,Windows XP Professional x64 Edition,10086,guanwang,1,");
    EXPECT_EQ(context.readPcIdFromParamData(), "ab12")
        << "a blank in field 5 leaves field 4 intact";
}

TEST_F(InstallerContextTest, WithoutLocalAppDataNothingIsWrittenElsewhere) {
    testsupport::setEnv("HOME", nullptr);
    testsupport::setEnv("XDG_STATE_HOME", nullptr);
    testing::internal::CaptureStderr();
    InstallerContext context;
    std::string log = testing::internal::GetCapturedStderr();

    EXPECT_NE(log.find("QvmAudioDownCall: You'll need error handling here!\n"), std::string::npos);
    EXPECT_EQ(context.paramDataPath, "");
    context.writeParamData();
    EXPECT_EQ(context.readPcIdFromParamData(), "");
    EXPECT_EQ(context.pcId.size(), 32u);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(env.root)) {
        std::string name = entry.path().filename().string();
        EXPECT_TRUE(name != "paramdata" && name != "hobnarAudio") << entry.path();
    }
    EXPECT_FALSE(std::filesystem::exists("/hobnarAudio"));
}

TEST_F(InstallerContextTest, RegistryStrings) {
    writeRegistryString(kKey, "long", std::string(300, 'v'));
    EXPECT_EQ(readRegistryString(kKey, "long"), std::string(300, 'v'));
    writeRegistryString(kKey, "nul", std::string("ab\0cd", 5));
    EXPECT_EQ(readRegistryString(kKey, "nul"), "ab");
    writeRegistryString(kKey, "empty", "");
    EXPECT_EQ(platform::registryRead(kKey, "empty"), std::string());
    EXPECT_EQ(readRegistryString("SOFTWARE\\Nothing", "x"), "");

    testsupport::setEnv("HOBNAR_REGISTRY_DB", "/proc/no-such-place/registry.db");
    testing::internal::CaptureStderr();
    writeRegistryString(kKey, "x", "1");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "QvmAudioDownCall: 创建注册表失败\n");
}

TEST_F(InstallerContextTest, InstanceIsOneObjectForEveryThread) {
    std::vector<InstallerContext*> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = &InstallerContext::instance(); });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (InstallerContext* context : seen) {
        EXPECT_EQ(context, seen[0]);
    }
    EXPECT_EQ(readRegistryString(kKey, "pcId"), seen[0]->pcId);
}

}  // namespace
