#include "context/installer_context.h"

#include <new>

#include "backend/sender.h"
#include "backend/version.h"
#include "identity/identity.h"
#include "platform/platform.h"

namespace context {

using platform::readRegistryString;
using platform::writeRegistryString;

const char* const kProductRegistryKey = "SOFTWARE\\ZorozAvuzado";
// paramdata is one line of a few fields; a larger file is not ours to read whole.
constexpr std::size_t kLongestParamData = 64 * 1024;

std::string stateFolderPath() {
    std::string localAppData = platform::localAppDataDir();
    if (localAppData.empty()) {
        platform::debugLog("You'll need error handling here!");
        return {};
    }
    return localAppData + platform::kPathSep + "hobnarAudio";
}

InstallerContext& InstallerContext::instance() {
    // A function-local static is built exactly once even when several threads
    // race here; a constructor that throws leaves it unbuilt for the next
    // caller.  The object is never destroyed.
    static InstallerContext* const theInstance = new InstallerContext();
    return *theInstance;
}

InstallerContext::InstallerContext() : m_sender(std::make_unique<backend::Sender>()) {
    // Without the folder there is no "paramdata": nothing is ever written at a
    // path relative to the file-system root or the working folder.
    std::string stateFolder = stateFolderPath();
    paramDataPath = stateFolder.empty() ? "" : stateFolder + platform::kPathSep + "paramdata";
    apkId = "1";
    registryKeyPath = kProductRegistryKey;

    writeRegistryString(registryKeyPath, "apkId", apkId);
    installedVersion = readRegistryString(registryKeyPath, "version");

    // Only an identifier newGuidId could have made is adopted: anything else
    // (a 10 MB field, a shifted field) would break every request for good.
    pcId = readRegistryString(registryKeyPath, "pcId");
    if (!isDeviceId(pcId)) {
        pcId = readPcIdFromParamData();
        if (!isDeviceId(pcId)) {
            pcId = identity::newGuidId();
        }
        writeRegistryString(registryKeyPath, "pcId", pcId);
    }

    systemVersion = readRegistryString(registryKeyPath, "systemVersion");
    if (systemVersion.empty()) {
        systemVersion = identity::windowsVersionName();
        writeRegistryString(registryKeyPath, "systemVersion", systemVersion);
    }

    writeRegistryString(registryKeyPath, "apkVersionCode", backend::kVersionCode);
    writeRegistryString(registryKeyPath, "phoneMaker", "Microsoft");
    writeRegistryString(registryKeyPath, "phoneModel", "Windows");
    writeRegistryString(registryKeyPath, "phoneOs", "2");
    writeRegistryString(registryKeyPath, "selfPath", platform::programFilePath());
}

bool isDeviceId(const std::string& text) {
    if (text.size() != 32) {
        return false;
    }
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

InstallerContext::~InstallerContext() = default;

std::string paramDataField(const std::string& value) {
    std::string field = platform::withoutControlBytes(value);
    for (char& c : field) {
        if (c == ',') {
            c = ';';
        }
    }
    return field;
}

std::string InstallerContext::paramDataLine() const {
    const std::string fields[] = {
        devMode ? "TRUE" : "FALSE",
        version.empty() ? std::string(backend::kDeliveredVersion) : version,
        apkId,
        pcId,
        systemVersion,
        promoteId,
        channel,
        logOpen};
    std::string line;
    for (const std::string& field : fields) {
        // A comma or a line break inside a value would shift the fields that
        // a later run reads back.
        line += paramDataField(field);
        line += ',';
    }
    return line;
}

void InstallerContext::writeParamData() {
    if (paramDataPath.empty()) {
        return;
    }
    platform::writeFileText(paramDataPath, paramDataLine());
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
    // Its first word, as the line was written.
    std::string text = platform::readFileText(paramDataPath, kLongestParamData);
    size_t start = text.find_first_not_of(" \t\r\n\v\f");
    if (start == std::string::npos) {
        return {};
    }
    return pcIdFromParamDataWord(
        text.substr(start, text.find_first_of(" \t\r\n\v\f", start) - start));
}

}  // namespace context
