// The installation engine: where the product goes, and one install run that
// fixes the product folder, downloads the package, unpacks it, registers the
// product, puts a shortcut on the desktop and reports the success event.
//
// Contract:
// - The window and the unattended mode start the same InstallRun and hear of
//   it through an InstallObserver: progress while the package arrives, then
//   exactly one of onFinished or onFailed.
// - InstallRun::startInstall runs on the caller's (window) thread; run() and
//   everything it calls run on the download thread, and so do the observer's
//   calls.  The observer must be safe to call from that thread; the window's
//   posts each call to its own handle.
// - The run reads the installer context (facts every request reports, the
//   version, the registry key) and never writes it.  It owns its observer
//   and the lock on the install folder; a run that is destroyed releases the
//   lock.  libcurl's global initialisation is the program's job.
// - Failures are values (InstallOutcome); nothing here throws.  Paths are
//   UTF-8 and joined with platform::kPathSep.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "context/installer_context.h"
#include "platform/platform.h"

// ---- Install location ----------------------------------------------------

// The folder name the archive unpacks into, below the install folder.
extern const char* const kProductFolderName;  // "win-ia32-unpacked"
// The product's main executable, at the root of the product folder.
extern const char* const kMainExecutableName;  // "hobnarAudio.exe"

// The chosen folder with at most one trailing separator removed ("/" itself
// becomes empty, so the product folder is "/win-ia32-unpacked").
std::string trimInstallFolder(std::string folder);
// installFolder + "/" + "win-ia32-unpacked".
std::string productFolderFor(const std::string& installFolder);
// productFolder + "/" + "hobnarAudio.exe".
std::string mainExecutableIn(const std::string& productFolder);
// The downloaded archive beside the product folder: productFolder + ".rar".
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

// ---- Outcome of a run ----------------------------------------------------

enum class InstallFailure {
    None,
    FolderFailed,           // the product folder cannot be created
    FolderTooLong,          // the folder's name is too long for the UnRAR library
    AnotherInstallRunning,  // another installation holds the install folder
    DownloadFailed,         // every download attempt failed
    PackageUnavailable,     // the package address kept answering an HTTP error
    AddressRefused,         // the package address is malformed or not http(s)
    DiskFull,               // the volume filled up (download or unpacking)
    NotWritable,            // the archive or the product folder cannot be written
    ProductBusy,            // a product file is in use (the product runs)
    UnrarMissing,           // the UnRAR library cannot be loaded
    NotAnArchive,           // the downloaded file is no RAR archive
    DamagedPackage,         // an entry of the archive could not be unpacked
    EncryptedPackage,       // the archive wants a password
    UnsafePackage,          // an entry would land outside the product folder
    MainProgramMissing,     // the package holds no hobnarAudio.exe
    RegistrationFailed,     // the product could not be recorded in the registry
    DigestMismatch,         // the package is not the one the digest names
    SignatureMissing,       // no signature could be fetched beside the package
    SignatureMalformed,     // the signature is no minisign signature we can read
    SignatureInvalid,       // the signature was not made by our key for these bytes
};

struct InstallOutcome {
    InstallFailure failure = InstallFailure::None;
    long httpStatus = 0;  // PackageUnavailable: the status that was answered
    std::string detail;   // for diagnostics: an entry name, a library message
    bool ok() const { return failure == InstallFailure::None; }
};

// How a failure reads to a person: one English line for the unattended mode
// and the log, and the text of the window's failure page.  An HTTP status is
// named where it matters.
std::string failureReason(const InstallOutcome& outcome);
std::string failurePageText(const InstallOutcome& outcome);

// ---- One install run -----------------------------------------------------

// Who hears of a run.  Every call comes on the run's (download) thread.
class InstallObserver {
  public:
    virtual ~InstallObserver() = default;
    // Each new whole percentage of the package, with the speed of the
    // current attempt.
    virtual void onProgress(int percent, double bytesPerSecond) = 0;
    // Installed, registered, linked and reported.
    virtual void onFinished() = 0;
    // Nothing was registered and no success was reported.
    virtual void onFailed(const InstallOutcome& outcome) = 0;
};

// How the download paces itself.  The defaults are the program's values; only
// tests pass anything else.
struct DownloadTiming {
    std::chrono::milliseconds slice{20000};  // limit for one whole attempt
    std::chrono::milliseconds pause{500};    // wait after a failed attempt
    int attempts = 6050;
};

// What the window or the unattended mode hands a run.
struct InstallPlan {
    std::string productFolder;  // the install folder + "/win-ia32-unpacked"
    std::string packageUrl;
    std::int64_t packageSize = -1;  // in bytes, when the install information said
    std::string sha256;             // the digest the package must have; empty: none announced
    std::string publicKey;          // minisign key the package must be signed with; empty: none
    DownloadTiming timing;
    // A retry after the UnRAR library was missing: the archive an earlier
    // run downloaded whole is unpacked instead of fetched again.
    bool reuseWholeArchive = false;
};

// The minisign public key (base64) the program was built with; packages
// must then be signed with its secret key.  The program's entry sets it once,
// before any run starts, from what its build configured (empty: packages
// are not signature-checked).
void usePackageSigningKey(const std::string& publicKey);

// The plan for installing into `productFolder` what the context's install
// information announced, checked as the build requires.
InstallPlan planFor(const InstallerContext& context, const std::string& productFolder);

class InstallRun {
  public:
    InstallRun(InstallerContext& context, InstallPlan plan,
               std::unique_ptr<InstallObserver> observer);
    ~InstallRun();
    InstallRun(const InstallRun&) = delete;
    InstallRun& operator=(const InstallRun&) = delete;

    // Caller's thread, before the download thread starts: the product folder
    // is created and the install folder locked against a second installation
    // into it.  A failure is reported by run(), not here.
    InstallOutcome startInstall();
    // Download thread: the whole installation (startInstall first, unless
    // the caller did that), ending with exactly one call of onFinished or
    // onFailed.  Returns the same outcome.
    InstallOutcome run();
    // Runs run() on a detached thread that owns the run; false (and
    // onFailed) when no thread can be started.
    static bool startDetached(std::unique_ptr<InstallRun> run);

    // After a successful download (downloadDoneCallback): unpacks, registers,
    // links and reports "pc_install_success".
    InstallOutcome finishInstall();
    // Unpacks the archive into a fresh folder beside the product folder and,
    // only when the whole package unpacked and holds the main program, moves
    // its entries into the product folder (files the package lacks stay).
    InstallOutcome extractPackage();

    const InstallPlan& plan() const { return m_plan; }

  private:
    InstallOutcome prepareFolder();
    InstallOutcome downloadArchive();
    InstallOutcome reuseArchive();
    InstallOutcome download(bool resume);
    InstallOutcome checkPackage(const struct DownloadedPackage& downloaded);
    void forgetArchive();
    InstallOutcome report(const InstallOutcome& outcome);

    InstallerContext& m_context;
    InstallPlan m_plan;
    std::unique_ptr<InstallObserver> m_observer;
    std::optional<InstallOutcome> m_started;  // what startInstall found
    platform::FileHandle m_lock;              // held from startInstall to the end
    bool m_resumed = false;                   // the last download continued an archive
};

// ---- Registration --------------------------------------------------------

extern const char* const kUninstallRegistryKey;
// Writes, in this order, NoModify, DisplayIcon, DisplayName, DisplayVersion,
// InstallLocation, UninstallString under the uninstall key and then, when
// all of them were written, DisplayPath under the product key, for the
// product folder.  False when any value could not be written.
bool writeUninstallEntries(const InstallerContext& context, const std::string& productFolder);
