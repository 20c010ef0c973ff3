// InstallerContext: the one process-wide object that the whole installer
// shares (device identity, launch parameters, server addresses), plus the
// registry-string routines and the "paramdata" file.
//
// Contract:
// - instance() builds the object on first use and never destroys it; it is
//   safe to call from several threads at once.  The first call is made on the
//   first thread before any other thread exists.
// - Members are plain public data, written only by context/ itself and by
//   the program's start-up (app/), on the first thread before any other
//   thread exists.  Everything else, the download thread included, only
//   reads them.  There is no lock.
// - Failures are values: an empty string means "not available".  Nothing here
//   throws on its own.
#pragma once

#include <string>

// The API base URL and package URL of one set of servers.
struct ServerEndpoints {
    std::string apiBaseUrl;
    std::string packageUrl;
};

// Production and test servers; compiledIn() gives the configured ones.
struct LaunchServers {
    ServerEndpoints production;
    ServerEndpoints test;
    static LaunchServers compiledIn();
};

// The product key under HKEY_LOCAL_MACHINE.
extern const char* const kProductRegistryKey;

// The REG_SZ value `valueName` of `subKey`, or an empty string when the key or
// value is missing.  The text ends at the value's first zero byte.
std::string readRegistryString(std::string subKey, std::string valueName);
// Sets the REG_SZ value, creating the key when needed.  A failure leaves one
// debugger line and answers false; callers that must know (the registration
// of an installed product) look at it.
bool writeRegistryString(std::string subKey, std::string valueName, std::string data);

class InstallerContext {
  public:
    // The process-wide instance.
    static InstallerContext& instance();

    // Runs the start-up steps: identity from the product key, "paramdata" or
    // fresh sources, then the fixed product-key values.  Production code goes
    // through instance(); tests build one context per simulated run.
    InstallerContext();

    std::string paramDataPath;  // empty when the local application-data folder is unknown
    std::string promoteId = "guanwang";
    std::string installedVersion;
    bool devMode = false;
    std::string packageSizeText;
    // From the install information as well: the package's size in bytes
    // (-1 unknown) and the SHA-256 it must have (empty: not announced).
    long long packageSizeBytes = -1;
    std::string packageSha256;
    std::string apiBaseUrl;
    std::string packageUrl;
    std::string channel = "guanwang";
    std::string apkId;
    std::string pcId;
    std::string systemVersion;
    std::string logOpen = "1";
    std::string version;
    std::string registryKeyPath;

    // Writes the one-line "paramdata" file from the current members.
    void writeParamData();
    // Field 4 of the "paramdata" file, or an empty string.
    std::string readPcIdFromParamData();

    // The "paramdata" line for the current members (no line break).
    std::string paramDataLine() const;

    // ---- Backend client: blocking HTTP on the calling thread --------------
    // POSTs a JSON body; returns whatever reply body arrived (empty on none).
    std::string postJson(std::string url, std::string body);
    // GETs a URL; the body when the final status is 200 or 201, else empty.
    std::string httpGet(std::string url);
    // The compact, key-sorted operation-log body for one event.
    std::string buildEventBody(int type, const std::string& btnId) const;
    // Posts one operation-log event to apiBaseUrl; the reply is ignored.
    void reportEvent(int type, std::string btnId);
    // "?apkChannel=...&...&userAgent=MicrosoftWindows" from the current members.
    std::string buildQueryString() const;
    // The package size text ("350.00MB"); cached text when install info came.
    std::string getSize();
    // The distribution channel; empty when the backend did not answer.
    std::string getApkChannel();
    // On success replaces packageUrl, version, packageSizeText and the
    // package's size in bytes and digest.
    void getInstallInfo();

    // ---- Start-up decisions (first thread, before any other thread) -------
    // Chooses the servers, queries the backend, records the launch parameters.
    void applyLaunchParameters(std::string promotionId, std::string argumentText);
    void applyLaunchParameters(std::string promotionId, std::string argumentText,
                               const LaunchServers& servers);
    // Starts the installed product and answers true when it is installed in
    // the delivered version; false otherwise.
    bool launchInstalledIfPresent();
    // The installed product's program when it is installed in the delivered
    // version (recorded before this run) and present; else empty.
    std::string installedProductPath();
};

// Field 4 of a "paramdata" word, or an empty string when there is none.
std::string pcIdFromParamDataWord(const std::string& word);
// True for a device identifier as newGuidId makes them: 32 lower-case
// hexadecimal digits.
bool isDeviceId(const std::string& text);
// A value as it may stand in a "paramdata" field: commas become ";", line
// breaks go.
std::string paramDataField(const std::string& value);
