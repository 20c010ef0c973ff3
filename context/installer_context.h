// InstallerContext: the one process-wide object that the whole installer
// shares (device identity, launch parameters, server addresses, install
// folder, the callbacks through which the download thread reaches the
// window), plus the registry-string routines and the "paramdata" file.
//
// Contract:
// - instance() builds the object on first use and never destroys it; it is
//   safe to call from several threads at once.  The first call is made on the
//   first thread before any other thread exists.
// - Members are plain public data.  All writes happen on the first (window)
//   thread; the download thread only reads members that were set before it
//   started, and calls the two callbacks.  There is no lock.
// - Failures are values: an empty string means "not available".  Nothing here
//   throws on its own.
#pragma once

#include <functional>
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
// debugger line and nothing else.
void writeRegistryString(std::string subKey, std::string valueName, std::string data);

class InstallerContext {
  public:
    // The process-wide instance.
    static InstallerContext& instance();

    // Runs the start-up steps: identity from the product key, "paramdata" or
    // fresh sources, then the fixed product-key values.  Production code goes
    // through instance(); tests build one context per simulated run.
    InstallerContext();

    void* mainWindow = nullptr;  // the main window, owned by itself; never dereferenced here
    std::string installDir;
    std::string paramDataPath;  // empty when the local application-data folder is unknown
    std::string promoteId = "guanwang";
    std::function<void(double, void*)> progressCallback;
    std::function<void()> downloadDoneCallback;
    std::string installedVersion;
    bool devMode = false;
    std::string packageSizeText;
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

    // Replaces installDir (the install folder, later the product folder).
    void setInstallDir(std::string dir);

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
    // On success replaces packageUrl, version and packageSizeText.
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
