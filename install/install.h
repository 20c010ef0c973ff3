// The installation engine: install location and free space, the package
// download, archive extraction, the uninstall registration and the desktop
// shortcut.  The window (ui/) calls these from its startInstall,
// finishInstall, extractPackage and setUiIntallPathAndFreeSpace.
//
// Contract:
// - Free functions; the installer context is passed by reference and only
//   read, except that the download calls its two callbacks.
// - Everything blocks the calling thread.  The location helpers and
//   createProductFolder run on the window thread; downloadPackage and all it
//   calls run on the download thread, and so does the completion it triggers
//   (extraction, uninstall entries, shortcut).  The callbacks are called on
//   the download thread; making their effect on the window safe is the
//   window's business.
// - Failures are values: an empty string means "not available", a bool or an
//   ExtractResult says whether a step worked.  Nothing here throws.
// - The download owns its one archive file handle from the first attempt to
//   the last; libcurl's global initialisation is the program's job.
// - Paths are UTF-8 and joined with platform::kPathSep.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
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
// productFolderFor(installFolder) + "/" + "hobnarAudio.exe".
std::string mainExecutableFor(const std::string& installFolder);
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

// Creates the product folder and its missing parents exactly as named (no
// shell ever sees the name).  True when the folder exists afterwards.
bool createProductFolder(const std::string& folder);

// ---- Download ------------------------------------------------------------

// How the download paces itself.  The defaults are the program's values; only
// tests pass anything else.
struct DownloadTiming {
    std::chrono::milliseconds slice{20000};  // limit for one whole attempt
    std::chrono::milliseconds pause{500};    // wait after a failed attempt
    int attempts = 6050;
};

// What one attempt knows about itself; handed to the progress callback.
struct TransferProgress {
    // Bytes already in the archive file when the attempt's body began (0
    // again when the server restarted the file from its beginning).
    std::int64_t resumeOffset = 0;
    void* transfer = nullptr;  // the attempt's libcurl easy handle
    InstallerContext* context = nullptr;
    // Set once the response has been judged to carry package bytes; until
    // then (headers, redirects, error pages) nothing is reported.
    bool bodyAccepted = false;
};

// The last whole percentage passed on; starts at 0, so 0 is never reported.
// One download per process, so it is never reset by the program (tests reset it).
extern int lastReportedPercent;

// Whole percentage of resumeOffset + done against resumeOffset + total, or -1
// while the total of this attempt is unknown (0).  64-bit throughout.
int downloadPercent(std::int64_t resumeOffset, std::int64_t done, std::int64_t total);

// A Content-Range header value: "bytes 100-199/1000" or "bytes */1000".
// Fields the value does not give are -1; valid is false for anything else.
struct ContentRange {
    bool valid = false;
    std::int64_t first = -1;
    std::int64_t last = -1;
    std::int64_t completeLength = -1;
};
ContentRange parseContentRange(const std::string& value);

// What to do with a response to a request resuming at `offset` bytes.
enum class ResponseVerdict {
    Append,    // the body continues the file at its end
    Restart,   // the whole file came back: empty the file, then write the body
    Complete,  // the file already holds the whole package
    Reject,    // an error status or a range that does not fit: write nothing
};
ResponseVerdict judgeResponse(long status, std::int64_t offset, const std::string& contentRange);

// libcurl write callback; `sink` is the attempt's internal state.  Writes the
// body only after judging the response; returns 0 to abort the attempt.
std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* sink);
// libcurl transfer-information callback; `record` is a TransferProgress.
// Reports each new whole percentage once; always returns 0.
int onTransferProgress(void* record, std::int64_t downloadTotal, std::int64_t downloadNow,
                       std::int64_t uploadTotal, std::int64_t uploadNow);
// Passes a percentage to the window (progressCallback with mainWindow) and
// logs "当前进度:" with six decimals.
void reportProgress(InstallerContext& context, double percent);

// One transfer attempt of at most timing.slice, resuming at the file's size.
// True when the file now holds the whole package.
bool transferOnce(InstallerContext& context, platform::FileHandle& archive,
                  const DownloadTiming& timing);
// Downloads packageUrl into archivePathFor(installDir), deleting a stale file
// first, in up to timing.attempts attempts.  On success runs
// downloadDoneCallback (when set) and returns true; false when installDir is
// empty, the file could not be opened or every attempt failed.  An attempt
// counts only with status 200 from offset 0, 206 whose range starts at the
// file's size, or a 416 saying the file already holds the whole package; an
// error body is never written, and a 200 to a resumed request empties the
// file so the package starts again from zero.
bool downloadPackage(InstallerContext& context, const DownloadTiming& timing = {});

// ---- Extraction ----------------------------------------------------------

enum class ExtractStatus {
    Ok,
    LibraryMissing,  // libunrar.so.5 or one of its calls is not available; archive kept
    NotAnArchive,    // the archive cannot be opened; archive kept
    DamagedEntry,    // an entry could not be read or written; later entries skipped
    UnsafeEntry,     // an entry would land outside the product folder; later entries skipped
};

struct ExtractResult {
    ExtractStatus status = ExtractStatus::Ok;
    int entriesWritten = 0;
    std::string failedEntry;  // name of the entry that stopped the extraction
    bool ok() const { return status == ExtractStatus::Ok; }
};

// A short English description of a status, for diagnostics.
const char* describeExtractStatus(ExtractStatus status);

// Unpacks every entry of the RAR archive into productFolder with the UnRAR
// library, writing each entry's name on its own line to namesOut.  Stops at
// the first damaged or unsafe entry: names that are absolute or climb out
// with "..", and links whose target is absolute, climbs with ".." or is not
// known, are never extracted.  An archive that opened is deleted afterwards
// whatever happened; one that did not open stays.
ExtractResult extractArchive(const std::string& archivePath, const std::string& productFolder,
                             std::ostream& namesOut);
// True when an archive entry name (or a link target) stays inside the folder
// it is extracted into: relative, without a ".." component.  "/" and "\" both
// count as separators.
bool isContainedEntryPath(const std::string& name);

// ---- Uninstall registration ------------------------------------------------

extern const char* const kUninstallRegistryKey;
// Writes, in this order, NoModify, DisplayIcon, DisplayName, DisplayVersion,
// InstallLocation, UninstallString under the uninstall key and DisplayPath
// under the product key, all based on the product folder context.installDir.
void writeUninstallEntries(InstallerContext& context);

// ---- Desktop shortcut --------------------------------------------------------

// File name of the desktop entry, "hobnar语音文字转换器.desktop".
extern const char* const kShortcutFileName;
// UTF-8 to UTF-32 (wchar_t); invalid bytes become U+FFFD.
std::wstring toWide(const std::string& text);
// wchar_t text back to UTF-8.
std::string fromWide(const std::wstring& text);

struct ShortcutLinks {
    std::wstring userLink;    // on the user's desktop; empty when it is unknown
    std::wstring commonLink;  // on the all-users desktop; empty when it is unknown
};
// The two link paths: the user's desktop folder and the "Common Desktop"
// registry value, each + "/" + kShortcutFileName.
ShortcutLinks shortcutLinkPaths();

// The desktop entry text for a target program: Exec quoted and escaped as
// the desktop-entry format wants, Path the target's folder.
std::string desktopEntryText(const std::string& target);
// Writes the entry (mode 0755) at firstLink; only when that fails, at
// fallbackLink.  An empty link path is skipped, never written beside the
// root.  True when one of the two was written.
bool createShortcut(const std::string& target, const std::wstring& firstLink,
                    const std::wstring& fallbackLink);

// ---- Completion ----------------------------------------------------------

// Everything after a successful download, on the calling (download) thread:
// unpacks the archive beside productFolder into it, then registers the
// product, makes the desktop shortcut to exePath and reports
// "pc_install_success".  When the extraction fails, nothing after it
// happens; the result says why.
ExtractResult completeInstallation(InstallerContext& context, const std::string& productFolder,
                                   const std::string& exePath);
