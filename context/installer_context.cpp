#include "context/installer_context.h"

#include <fstream>
#include <new>

#include "identity/identity.h"
#include "platform/platform.h"

const char* const kProductRegistryKey = "SOFTWARE\\ZorozAvuzado";

std::string readRegistryString(std::string subKey, std::string valueName) {
    std::optional<std::string> value = platform::registryRead(subKey, valueName);
    if (!value) {
        return {};
    }
    return value->substr(0, value->find('\0'));
}

void writeRegistryString(std::string subKey, std::string valueName, std::string data) {
    if (!platform::registryWrite(subKey, valueName, data)) {
        platform::debugLog("创建注册表失败");
    }
}

InstallerContext& InstallerContext::instance() {
    // A function-local static is built exactly once even when several threads
    // race here; a constructor that throws leaves it unbuilt for the next
    // caller.  The object is never destroyed.
    static InstallerContext* const theInstance = new InstallerContext();
    return *theInstance;
}

namespace {

std::string paramDataPathFor(const std::string& localAppData) {
    if (localAppData.empty()) {
        return {};
    }
    return localAppData + platform::kPathSep + "hobnarAudio" + platform::kPathSep + "paramdata";
}

}  // namespace

InstallerContext::InstallerContext() {
    std::string localAppData = platform::localAppDataDir();
    if (localAppData.empty()) {
        platform::debugLog("You'll need error handling here!");
    }
    // Without the folder there is no "paramdata": nothing is ever written at a
    // path relative to the file-system root or the working folder.
    paramDataPath = paramDataPathFor(localAppData);
    apkId = "1";
    registryKeyPath = kProductRegistryKey;

    writeRegistryString(registryKeyPath, "apkId", apkId);
    installedVersion = readRegistryString(registryKeyPath, "version");

    pcId = readRegistryString(registryKeyPath, "pcId");
    if (pcId.empty()) {
        pcId = readPcIdFromParamData();
        if (pcId.empty()) {
            pcId = identity::newGuidId();
        }
        writeRegistryString(registryKeyPath, "pcId", pcId);
    }

    systemVersion = readRegistryString(registryKeyPath, "systemVersion");
    if (systemVersion.empty()) {
        systemVersion = identity::windowsVersionName();
        writeRegistryString(registryKeyPath, "systemVersion", systemVersion);
    }

    writeRegistryString(registryKeyPath, "apkVersionCode", "10000");
    writeRegistryString(registryKeyPath, "phoneMaker", "Microsoft");
    writeRegistryString(registryKeyPath, "phoneModel", "Windows");
    writeRegistryString(registryKeyPath, "phoneOs", "2");
    writeRegistryString(registryKeyPath, "selfPath", platform::programFilePath());
}

std::string InstallerContext::paramDataLine() const {
    const std::string fields[] = {devMode ? "TRUE" : "FALSE",
                                  version.empty() ? std::string("2.0.1") : version,
                                  apkId,
                                  pcId,
                                  systemVersion,
                                  promoteId,
                                  channel,
                                  logOpen};
    std::string line;
    for (const std::string& field : fields) {
        line += field;
        line += ',';
    }
    return line;
}

void InstallerContext::writeParamData() {
    if (paramDataPath.empty()) {
        return;
    }
    std::ofstream out(paramDataPath, std::ios::binary | std::ios::trunc);
    out << paramDataLine();
}

std::string pcIdFromParamDataWord(const std::string& word) {
    size_t start = 0;
    for (int field = 1; field < 4; ++field) {
        size_t comma = word.find(',', start);
        if (comma == std::string::npos) {
            return {};
        }
        start = comma + 1;
    }
    size_t end = word.find(',', start);
    if (end == std::string::npos) {
        // The last field needs no closing comma, but a word that ends right
        // after the third comma has no fourth field at all.
        end = word.size();
    }
    return word.substr(start, end - start);
}

std::string InstallerContext::readPcIdFromParamData() {
    if (paramDataPath.empty()) {
        return {};
    }
    std::ifstream in(paramDataPath, std::ios::binary);
    std::string word;
    if (!in || !(in >> word)) {
        return {};
    }
    return pcIdFromParamDataWord(word);
}

void InstallerContext::setInstallDir(std::string dir) {
    installDir = std::move(dir);
}
