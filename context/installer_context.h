// InstallerContext: the one process-wide object that the whole installer
// shares (device identity, launch parameters, server addresses, the sender
// of its backend requests), plus the "paramdata" file.
//
// Contract:
// - instance() builds the object on first use and never destroys it; it is
//   safe to call from several threads at once.  The first call is made on the
//   first thread before any other thread exists.
// - Members are plain public data, written only by context/ itself and by
//   the program's start-up (app/) on the first thread, except the facts the
//   backend's answers bring (version, channel, the package members), which
//   the sender's thread writes while it runs the launch queries.  Other
//   threads read those only after announcedPackage() is ready, or through a
//   queued request, which runs after them.
// - Requests queued here (events, the launch queries, requestSize,
//   fetchText) leave one at a time on the sender's thread, in the order they
//   were queued; the blocking operations (postJson, httpGet, the queries)
//   run on the calling thread.
// - Failures are values: an empty string means "not available".  Nothing here
//   throws on its own.
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "install/install.h"

namespace backend {
class Sender;
}

namespace context {

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

// The per-user folder of "bdviddata" and "paramdata": <local application
// data>/hobnarAudio.  Empty when the local application-data folder is unknown.
std::string stateFolderPath();

class InstallerContext : public install::InstallBackend {
  public:
    // The process-wide instance.
    static InstallerContext& instance();

    // Runs the start-up steps: identity from the product key, "paramdata" or
    // fresh sources, then the fixed product-key values.  Production code goes
    // through instance(); tests build one context per simulated run.
    InstallerContext();
    // Drops what is still queued and stops the request in flight.
    ~InstallerContext() override;
    InstallerContext(const InstallerContext&) = delete;
    InstallerContext& operator=(const InstallerContext&) = delete;

    std::string paramDataPath;  // empty when the local application-data folder is unknown
    std::string promoteId = "guanwang";
    std::string installedVersion;
    bool devMode = false;
    std::string packageSizeText;
    // From the install information as well: the package's size in bytes
    // (-1 unknown) and the SHA-256 it must have (empty: not announced).
    long long packageSizeBytes = -1;
    std::string packageSha256;
    bool packageSha256Malformed = false;  // a digest was announced, but no SHA-256 one
    std::string apiBaseUrl;
    std::string packageUrl;
    std::string channel = "guanwang";
    std::string apkId;
    std::string pcId;
    std::string systemVersion;
    std::string logOpen = "1";
    std::string version;
    std::string registryKeyPath;
    // The minisign public key packages must be signed with (the build's);
    // empty: packages are not signature-checked.
    std::string signingKey;

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
    // "?apkChannel=...&...&userAgent=MicrosoftWindows" from the current members.
    std::string buildQueryString() const;
    // The package size text ("350.00MB"); cached text when install info came.
    std::string getSize();
    // The distribution channel; empty when the backend did not answer.
    std::string getApkChannel();
    // On success replaces packageUrl, version, packageSizeText and the
    // package's size in bytes and digest.
    void getInstallInfo();

    // ---- Through the sender: each returns at once -------------------------
    // Posts one operation-log event to apiBaseUrl; its body is built when it
    // leaves, from what the requests before it learnt.  The reply is ignored.
    void reportEvent(int type, const std::string& btnId) override;
    // getSize, its text handed to `deliver` on the sender's thread.
    void requestSize(std::function<void(const std::string&)> deliver);
    // GETs `url` after what is queued before it, and waits for the body (at
    // most until `deadline`); empty when none came.
    std::string fetchText(const std::string& url, install::Deadline deadline) override;
    // Waits until every queued request has been sent or `deadline` has
    // passed; then drops what is left, with one diagnostic line.  True when
    // everything was sent.
    bool finishRequests(install::Deadline deadline);

    // ---- Start-up decisions (first thread) -------------------------------
    // Chooses the servers and records the choice, then queues the install
    // information and channel queries and what they record (the registry
    // values, "paramdata").
    void applyLaunchParameters(std::string promotionId, std::string argumentText);
    void applyLaunchParameters(std::string promotionId, std::string argumentText,
                               const LaunchServers& servers);
    // The package the install information announced, ready once that query
    // has ended (at once, from the current members, when none was queued).
    std::shared_future<install::PackageFacts> announcedPackage();
    // Starts the installed product and answers true when it is installed in
    // the delivered version; false otherwise.
    bool launchInstalledIfPresent();
    // The installed product's program when it is installed in the delivered
    // version (recorded before this run) and present; else empty.
    std::string installedProductPath();

  private:
    void queueLaunchQueries();
    install::PackageFacts packageFacts() const;

    std::optional<std::shared_future<install::PackageFacts>> m_announced;
    // Last, so it stops before the members its requests use are gone.
    std::unique_ptr<backend::Sender> m_sender;
};

// What a run needs to install into `productFolder` what the context's install
// information announces (waited for by the run), checked as the build requires.
install::InstallPlan planFor(InstallerContext& context, const std::string& productFolder);

// Field 4 of a "paramdata" word, or an empty string when there is none.
std::string pcIdFromParamDataWord(const std::string& word);
// True for a device identifier as newGuidId makes them: 32 lower-case
// hexadecimal digits.
bool isDeviceId(const std::string& text);
// A value as it may stand in a "paramdata" field: commas become ";", line
// breaks go.
std::string paramDataField(const std::string& value);

}  // namespace context
