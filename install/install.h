// The installation engine: where the product goes, and one install run that
// fixes the product folder, downloads the package, checks it, unpacks it,
// registers the product, puts a shortcut on the desktop and reports the
// success event.
//
// Contract:
// - The window and the unattended mode start the same InstallRun and hear of
//   it through an InstallObserver: progress and the unpacked entries while it
//   works, then exactly one of onFinished or onFailed.  The engine itself
//   writes nothing to standard output or standard error; its diagnostics go
//   to platform::debugLog.
// - InstallRun::startInstall runs on the caller's (window) thread; run() and
//   everything it calls run on the download thread, and so do the observer's
//   calls.  The observer must be safe to call from that thread; the window's
//   posts each call to its own handle.
// - A run knows nothing of the process-wide context: everything it needs
//   comes in its InstallPlan, and what it asks of the backend goes through
//   an InstallBackend, which must outlive the run.  It owns its observer and
//   the lock on the install folder; a run that is destroyed releases the
//   lock.  libcurl's global initialisation is the program's job.
// - Failures are values (InstallOutcome, install/outcome.h); nothing here
//   throws.  Paths are UTF-8 and joined with platform::kPathSep.
#pragma once

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "install/outcome.h"
#include "platform/platform.h"

namespace install {

// ---- Install location ----------------------------------------------------

// The folder name the archive unpacks into, below the install folder.
extern const char* const kProductFolderName;  // "win-ia32-unpacked"
// The product's main executable, at the root of the product folder.
extern const char* const kMainExecutableName;  // "hobnarAudio.exe"

// folder + "/" + name, where a folder that already ends in a separator (a
// drive's or the file system's root, "C:\" or "/") gets none added.
std::string joinPath(const std::string& folder, const std::string& name);
// The product folder for an install folder: installFolder + "/" +
// "win-ia32-unpacked" (joinPath).
std::string productFolderFor(const std::string& installFolder);
// productFolder + "/" + "hobnarAudio.exe".
std::string mainExecutableIn(const std::string& productFolder);
// The run's private folder for `productFolder`, where only the installing
// user can write: <local application data>/hobnarAudio/downloads/<16 hex
// digits of the product folder's SHA-256>.  Empty when there is no local
// application-data folder.
std::string privateFolderFor(const std::string& productFolder);
// The downloaded archive, in the private folder: "win-ia32-unpacked.rar".
std::string archivePathFor(const std::string& productFolder);

// Size (total true) or free bytes (total false) of the volume that holds
// `folder`, in units of 2^30 bytes.  A folder that does not exist yet is
// measured on the volume of its nearest existing parent, where it would be
// created.  Negative when nothing can be measured.
double queryDiskSpaceGB(std::string folder, bool total);
// The free space as shown on the window: two decimals, rounded, followed by
// "GB" ("49.00GB").  Empty text when the volume cannot be measured, so the
// window shows nothing rather than a made-up "0.00GB".
std::string formatFreeSpace(std::string folder);
// The text for a number of 2^30-byte units; empty for a negative number.
std::string formatGigabytes(double gigabytes);

// ---- What a run is given ---------------------------------------------------

// What the install information announced of the package, or, when the
// backend did not answer, the built-in address alone.
struct PackageFacts {
    std::string url;
    std::int64_t size = -1;  // in bytes; -1 unknown
    std::string sha256;      // the digest the package must have; empty: none announced
    std::string version;     // the product version, registered as DisplayVersion
    bool announced = false;  // the backend answered the query
    // The backend announced a digest that is no SHA-256 digest (64 hex
    // digits): nothing can be checked, so nothing is installed.
    bool digestMalformed = false;
};

// A PackageFacts that is already known (tests, tools).
std::shared_future<PackageFacts> knownPackage(PackageFacts facts);

// How the download paces itself.  The defaults are the program's values; only
// tests pass anything else.
struct DownloadTiming {
    std::chrono::milliseconds slice{20000};  // limit for one whole attempt
    std::chrono::milliseconds pause{500};    // wait after a failed attempt
    int attempts = 6050;
};

using Deadline = std::chrono::steady_clock::time_point;
constexpr Deadline kNoDeadline = Deadline::max();

// Waits for `value` until `deadline` (for ever without one); true when it is
// ready.
template <typename Future>
bool readyBy(const Future& value, Deadline deadline) {
    if (deadline == kNoDeadline) {
        value.wait();
        return true;
    }
    return value.wait_until(deadline) == std::future_status::ready;
}

// What the window or the unattended mode hands a run.
struct InstallPlan {
    std::string productFolder;  // the install folder + "/win-ia32-unpacked"
    std::string registryKey;    // the product key, where DisplayPath is recorded
    std::string publicKey;      // minisign key the package must be signed with; empty: none
    // The version this installer delivers: a signature must name it.
    std::string deliveredVersion;
    // The package, once the install information has arrived (or failed): a
    // run started before that waits for it.
    std::shared_future<PackageFacts> package;
    DownloadTiming timing;
    // The run ends with TimedOut once this passes, keeping the archive it
    // has for the next run to continue.
    Deadline deadline = kNoDeadline;
    // A retry after the UnRAR library was missing: the archive an earlier
    // run downloaded whole is unpacked instead of fetched again.
    bool reuseWholeArchive = false;
};

// What a run asks of the backend.  Any thread; the implementation (the
// installer context) keeps the order in which requests are made.
class InstallBackend {
  public:
    virtual ~InstallBackend() = default;
    // GETs `url` and waits for it until `deadline`; the body, or empty when
    // none came in time.
    virtual std::string fetchText(const std::string& url, Deadline deadline) = 0;
    // Reports one operation-log event; may return before it is sent.
    virtual void reportEvent(int type, const std::string& btnId) = 0;
};

// Who hears of a run.  Every call comes on the run's (download) thread.
class InstallObserver {
  public:
    virtual ~InstallObserver() = default;
    // Each new whole percentage of the package, with the speed of the
    // current attempt.
    virtual void onProgress(int percent, double bytesPerSecond) = 0;
    // Each archive entry as it is unpacked (its name, control characters
    // escaped).
    virtual void onEntryUnpacked(const std::string& name) = 0;
    // Installed, registered, linked and reported.
    virtual void onFinished() = 0;
    // Nothing was registered and no success was reported.
    virtual void onFailed(const InstallOutcome& outcome) = 0;
};

// ---- One install run -----------------------------------------------------

class InstallRun {
  public:
    InstallRun(InstallPlan plan, InstallBackend& backend,
               std::unique_ptr<InstallObserver> observer);
    ~InstallRun();
    InstallRun(const InstallRun&) = delete;
    InstallRun& operator=(const InstallRun&) = delete;

    // Caller's thread, before the download thread starts: the product folder
    // is created and the install folder locked against a second installation
    // into it.  A failure is reported by run(), not here.
    InstallOutcome startInstall();
    // Download thread: the whole installation, one step after another
    // (startInstall first, unless the caller did that), ending with exactly
    // one call of onFinished or onFailed.  Returns the same outcome.
    InstallOutcome run();
    // Runs run() on a detached thread that owns the run; false (and
    // onFailed) when no thread can be started.
    static bool startDetached(std::unique_ptr<InstallRun> run);

    const InstallPlan& plan() const { return m_plan; }

  private:
    InstallOutcome prepareFolder();
    InstallOutcome awaitPackage();
    InstallOutcome obtainArchive();
    InstallOutcome checkPackage();
    InstallOutcome unpack();
    InstallOutcome registerProduct();
    InstallOutcome linkOnDesktop();
    InstallOutcome reportSuccess();
    InstallOutcome download(bool resume);
    InstallOutcome verify();
    InstallOutcome report(const InstallOutcome& outcome);

    InstallPlan m_plan;
    PackageFacts m_package;  // from the plan, once awaited
    InstallBackend& m_backend;
    std::unique_ptr<InstallObserver> m_observer;
    std::optional<InstallOutcome> m_started;  // what startInstall found
    // The folders held from startInstall to the end (the install folder's
    // lock among them), and what the archive on disk is: its hashes, and
    // whether it continued what an earlier run left.
    struct Held;
    std::unique_ptr<Held> m_held;
};

}  // namespace install
