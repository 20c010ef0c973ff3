// The operating-system layer: the only code that calls the OS directly.
//
// Contract:
// - Every function is blocking, callable from any thread, and keeps no hidden
//   state between calls (each registry access opens and closes the store).
// - Results are values: an empty string (or an empty optional) means "not
//   available"; nothing here throws.
// - Narrow strings are UTF-8 bytes; paths use kPathSep.
// - This header carries no OS types, so the subsystems above it compile the
//   same for every platform.
#pragma once

// The calling convention of the C functions a loadable library exports
// (__stdcall for 32-bit Windows DLLs such as unrar.dll).
#if defined(_WIN32)
#define PLATFORM_LIBRARY_CALL __stdcall
#else
#define PLATFORM_LIBRARY_CALL
#endif

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The separator that joins path parts: '\\' on Windows, '/' elsewhere.  The
// Windows file functions accept '/' too, but explorer and the shell do not.
#if defined(_WIN32)
constexpr char kPathSep = '\\';
#else
constexpr char kPathSep = '/';
#endif

// ---- Known folders -------------------------------------------------------
// Each returns an absolute folder path without a trailing separator, or an
// empty string when the folder cannot be determined.  The folder is not
// required to exist yet (on Windows the shell reports a missing one as
// undetermined).

// Per-user local application data (the installer's "hobnarAudio" state folder
// and the default registry store live below it).
std::string localAppDataDir();
// Per-user roaming application data (the default install folder).
std::string roamingAppDataDir();
// The user's desktop (shortcuts).
std::string desktopDir();

// Full path of the running program file, or empty.
std::string programFilePath();
// Folder of the running program file, without a trailing separator, or empty.
std::string programDir();

// ---- Diagnostics ---------------------------------------------------------
// One line on the debugger channel (standard error here; on Windows
// OutputDebugStringW and standard error): `text`, its control characters
// escaped, followed by a line break.  Thread-safe; lines never interleave.
void debugOutput(const std::string& text);
// The installer's own tagged diagnostic: "QvmAudioDownCall: " + message.
void debugLog(const std::string& message);
// From now on every diagnostic line also goes to the file at `path`
// (appended), each after its UTC time; false when it cannot be opened as
// openFileForAppend opens files (a regular file, no link, no FIFO).
bool setLogFile(const std::string& path);
// One line to that file, if one was set (debugOutput calls it).
void writeLogLine(const std::string& line);
// "2026-12-07T04:31:12.345Z".
std::string logTimestamp(std::chrono::system_clock::time_point when);
// The program's own output, written at once: `text` as it is on standard
// output, or a line (a line break added) on standard output or error.
void printText(const std::string& text);
void printLine(const std::string& line);
void printErrorLine(const std::string& line);

// ---- Identity sources ----------------------------------------------------
// 16 random bytes from the kernel, laid out as an RFC 4122 version 4 UUID
// (on Windows CoCreateGuid's GUID, its fields in order, most significant
// byte first).
std::array<std::uint8_t, 16> newGuidBytes();

// Facts for naming the OS version.  On Windows the numeric fields come from
// the system and osName is empty; elsewhere osName carries the release name
// and the numbers stay 0.
struct OsVersionFacts {
    int platformId = 0;
    int productType = 0;
    int processorArchitecture = 0;
    int major = 0;
    int minor = 0;
    std::string osName;
};
OsVersionFacts osVersionFacts();

// The release name from the text of an os-release file: PRETTY_NAME, else
// NAME and VERSION joined by a blank, else NAME; empty when none is given.
std::string parseOsReleaseName(const std::string& osReleaseText);

// ---- Registry store --------------------------------------------------------
// String values under HKEY_LOCAL_MACHINE, kept in an SQLite file:
// $HOBNAR_REGISTRY_DB, else <localAppDataDir>/hobnar/registry.db (on Windows
// REG_SZ values of the real registry, UTF-16 there: bytes that are not UTF-8
// come back as U+FFFD, and the store's path is "HKEY_LOCAL_MACHINE").  Key paths
// are backslash-separated ("SOFTWARE\\ZorozAvuzado"); key and value names
// compare case-insensitively.  Each write is one transaction, so a value is
// either the old or the new one even if the process dies mid-write, and
// several processes may use the store at once.

// Path of the store file, or empty when no location can be determined.
std::string registryStorePath();
// The value's bytes, or nullopt when the key or value does not exist or the
// store cannot be read.  A zero-length value is an empty string, not nullopt.
std::optional<std::string> registryRead(const std::string& key, const std::string& name);
// Creates the store, the key and the value as needed.  False when the store
// cannot be opened or written.
bool registryWrite(const std::string& key, const std::string& name, const std::string& data);
// Removes one value; true when it existed and is gone.
bool registryDelete(const std::string& key, const std::string& name);

// The routines through which the program reads and writes its own REG_SZ
// values.  The read gives the value's text up to its first zero byte, or an
// empty string when the key or value is missing.  The write creates the key
// when needed; a failure leaves one diagnostic line and answers false
// (callers that must know, the registration of a product, look at it).
std::string readRegistryString(const std::string& subKey, const std::string& valueName);
bool writeRegistryString(const std::string& subKey, const std::string& valueName,
                         const std::string& data);

// ---- Files -----------------------------------------------------------------
bool fileExists(const std::string& path);

// A path's root ("/"; on Windows "C:\\", "\\\\server\\share\\" or "\\"; "" for a
// relative path) and its names in order ("" and "." left out, ".." kept).
struct PathParts {
    std::string root;
    std::vector<std::string> names;
};
PathParts pathParts(const std::string& path);
// `path` made absolute against the working folder, "." and ".." resolved
// as written (no link followed): "a/../b" is the folder b.  `path` itself
// when the working folder cannot be read.
std::string absolutePath(const std::string& path);
// Makes the folder and its missing parents, for the user's own folders (the
// state folder); true when a folder is there afterwards.
bool makeFolders(const std::string& path);
// One new folder; false when it cannot be made (or is there already).
bool makeFolder(const std::string& path);
// A regular file's bytes (at most `limit`), as openFileForReading opens
// it; empty when it cannot be read.
std::string readFileText(const std::string& path, std::size_t limit);
// Replaces a regular file's bytes, as openFileForAppend opens it (made
// owner-only when missing, never through a link); false on a failure.
bool writeFileText(const std::string& path, const std::string& bytes);

}  // namespace platform

// ---- Processes -------------------------------------------------------------
namespace platform {

// The program's arguments after its name, as UTF-8: main's argv here; on
// Windows the wide command line split by its own rules (argv there is in the
// ANSI code page).
std::vector<std::string> programArguments(int argc, char** argv);
// Makes standard output and error reach the console of whoever started a
// GUI program (Windows; nothing to do elsewhere), so that --help and an
// unattended run can be read there; output already redirected stays so.
void useParentConsole();

// Starts a program from an argument vector (argv[0] is a path or a name
// searched on PATH), detached: the caller does not wait for it and it outlives
// the caller.  No shell is involved.  False when it could not be started.
bool startDetached(const std::vector<std::string>& argv);
// Starts the file at `path` the way a double-click would: directly when it is
// an executable file, otherwise through the desktop's default handler.
bool launchFile(const std::string& path);
// Opens a URL (or file) with the desktop's default handler.
bool openWithDefaultHandler(const std::string& target);

// The Windows command line that hands `argv` to a program unchanged under the
// parsing rules of CommandLineToArgvW and the C runtime: argv[0] in plain
// quotes (a program name has no escapes), each other argument as it is when
// it needs no quotes, else quoted with its quotes and the backslashes before
// them escaped.  Empty when argv is empty or argv[0] holds a quote, which no
// program name can.  A pure function, the same on every system; the Windows
// layer starts programs with it.
std::string windowsCommandLine(const std::vector<std::string>& argv);

}  // namespace platform

// ---- Install engine: streamed files, disk space, loadable libraries --------
namespace platform {

// An open file for streaming a download into.  `id` is an opaque number (-1
// when nothing is open); only the functions below interpret it.  One handle
// is meant for one thread at a time.
struct FileHandle {
    long long id = -1;
    bool isOpen() const { return id >= 0; }
};

// Opens `path` for reading and writing, creating it (empty, readable and
// writable by its owner alone) when missing and keeping its content
// otherwise.  Every write goes to the end of the file.  Only a regular file
// is opened: a link at `path` is never followed, and a FIFO or a device
// there is refused without waiting on it.  Returns a closed handle on failure.
FileHandle openFileForAppend(const std::string& path);
// Like openFileForAppend, but only a file this call creates is opened:
// anything already at `path` (a file, a link) makes it fail.
FileHandle createNewFile(const std::string& path);
// Opens an existing regular file for reading (never through a link, never a
// FIFO or a device); a closed handle when it cannot.
FileHandle openFileForReading(const std::string& path);
// Reads up to `size` bytes from where the last read ended: the number read,
// 0 at the end, -1 on an error.
std::int64_t readSome(FileHandle file, void* buffer, std::size_t size);
// Everything left to read, but at most `limit` bytes.
std::string readAll(FileHandle file, std::size_t limit);
// Current size in bytes (64-bit), or -1 when it cannot be read.
std::int64_t fileSize(FileHandle file);
// Why a file operation failed.
enum class IoError {
    None,
    DiskFull,     // no room left on the volume (or over the file-size limit)
    Busy,         // the file is in use (a running program on Windows)
    Denied,       // not allowed: a read-only folder or file
    OtherVolume,  // a rename between two volumes
    Other,
};
// Writes all `size` bytes at the end of the file.
IoError appendToFile(FileHandle file, const void* data, std::size_t size);
// Everything left to read of `from`, written at the end of `to`.
IoError copyRemaining(FileHandle from, FileHandle to);
// Cuts (or extends) the file to `size` bytes; the next write goes to the new end.
bool truncateFile(FileHandle file, std::int64_t size);
// Closes the handle and marks it closed; a closed handle is left alone.
void closeFile(FileHandle& file);
// Deletes a file (not a folder); true when it is gone afterwards.
bool removeFile(const std::string& path);

// Takes an exclusive lock on the file at `path` (created when missing, never
// through a link), held until the handle is closed or the process ends.
// `busy` tells a lock held by another process from a file that cannot be
// opened at all; both give a closed handle.
FileHandle lockFile(const std::string& path, bool& busy);
// A new, empty folder of our own in `parent`, named `prefix` and a few
// random characters; nobody else can have prepared it.  Empty on failure.
std::string makeFreshFolder(const std::string& parent, const std::string& prefix);
// Moves a file, link or folder to `to` in one step, replacing a file or a
// link already there (never writing through it); a folder already at `to`
// is not replaced.  Both must be on one volume.
IoError moveReplacing(const std::string& from, const std::string& to);

// Whether a file at `path` can be made, found and started by its path on
// this system: shorter than PATH_MAX bytes on POSIX; within the 32,767
// characters of a "\\?\" path on Windows.
bool pathFits(const std::string& path);

// ---- Folders held open -------------------------------------------------------
// Work in a folder others may write to (an install folder) goes relative to
// the folder as it was opened, so renaming or replacing the path it was
// opened by afterwards changes nothing of that work; an entry is never
// reached through a link (on Windows: a symbolic link or a junction).  On
// Windows a held folder cannot be renamed or removed while it is open.

struct FolderHandle {
    long long id = -1;  // opaque, as FileHandle's
    std::string path;   // what it was opened by, for messages and the path-based calls
    bool isOpen() const { return id >= 0; }
};

enum class EntryType { Missing, File, Folder, Link, Other };

// An entry of a folder as it is, never what a link points to.
struct Entry {
    EntryType type = EntryType::Missing;
    // Owned by the user this program runs as (Windows: by the token's owner
    // of new objects, the Administrators of an elevated program).
    bool ours = false;
    // Others than its owner (and the system) may add, remove or rename
    // entries in it, unless it is a folder whose sticky bit keeps them to
    // their own entries.  Always false on Windows.
    bool othersMayChange = false;
    bool executable = false;   // a file with an execute permission (POSIX)
    bool systemOwned = false;  // owned by the system (root; SYSTEM or the Administrators)
    std::string owner;         // a user's name, or its number, for messages
};

// The folder at `path`, a link there not followed; closed when it is no folder.
FolderHandle openFolder(const std::string& path);
// Its sub-folder `name`, made when missing and `create` (owner-only when
// `privateToUs`, else readable by all); a link or anything else there is not
// opened.
FolderHandle openSubFolder(const FolderHandle& folder, const std::string& name, bool create,
                           bool privateToUs);
void closeFolder(FolderHandle& folder);
// The folder itself, and one of its entries.
Entry entryOf(const FolderHandle& folder);
Entry entryIn(const FolderHandle& folder, const std::string& name);
// The names of its entries, without "." and "..".
std::vector<std::string> entriesOf(const FolderHandle& folder);
// Opens (`create`: creates, owner-only) the regular file `name` in it, as
// openFileForAppend does by path.
FileHandle openFileIn(const FolderHandle& folder, const std::string& name, bool create);
// Renames `name` of `from` to `newName` of `to`, replacing a file or a link
// there, never what it points to.  IoError::OtherVolume across volumes.
IoError moveEntry(const FolderHandle& from, const std::string& name, const FolderHandle& to,
                  const std::string& newName);
// Copies the regular file `name` of `from` to a new file `newName` of `to`
// (which must not exist), with its permissions; a link is made again as a
// link to the same target.
IoError copyFile(const FolderHandle& from, const std::string& name, const FolderHandle& to,
                 const std::string& newName);
// Removes `name`: a file or a link itself, a folder with all it holds, never
// following a link inside.  True when it is gone.
bool removeEntry(const FolderHandle& folder, const std::string& name);
// Gives the entry `name` permissions no archive chose: folders and files
// with an execute permission 0755, other files 0644 (no setuid, setgid or
// sticky bit, nothing writable by others); on Windows no attributes but
// read-only.  Links stay as they are.
bool tidyPermissions(const FolderHandle& folder, const std::string& name);
// Whether the folder at `path` and every folder above it can be changed
// only by us and the system (sticky folders count when their entry below is
// ours), so that work by path inside it cannot be redirected.  Always true
// on Windows, whose user folders are the user's.
bool isPrivatePath(const std::string& path);

// Size and free bytes of the volume holding an existing path.  freeBytes are
// all free bytes of the volume, including those reserved for the superuser.
struct DiskSpace {
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;
    // Files that can still be made (a full inode table is a full disk too);
    // unbounded on Windows.
    std::uint64_t freeFiles = ~std::uint64_t{0};
};
// nullopt when the path does not exist or the volume cannot be queried.
std::optional<DiskSpace> diskSpace(const std::string& path);

// From now on the system's own libraries load from the system folder only,
// never from the program's folder or the working folder (Windows; nothing
// to do elsewhere).  The first thing the program does.
void restrictLibrarySearch();
// A shared library loaded by file name, or nullptr: searched the system's
// usual way here; on Windows the file of that name beside the program, by
// its full path, whatever it imports coming from the system folder.  It
// stays loaded until the process ends.
void* loadLibrary(const std::string& name);
// The file name of the UnRAR library: libunrar.so.5 here, unrar.dll on Windows.
std::string unrarLibraryName();
// The address of an exported symbol of a loaded library, or nullptr.
void* librarySymbol(void* library, const std::string& symbol);

}  // namespace platform

// ---- Text and shortcuts ----------------------------------------------------
namespace platform {

// UTF-8 to wchar_t text (UTF-32 here, UTF-16 where wchar_t has 16 bits) and
// back; bytes that are not UTF-8, and lone surrogates, become U+FFFD.
std::wstring toWide(const std::string& text);
std::string fromWide(const std::wstring& text);
// True when the bytes are well-formed UTF-8.
bool isUtf8(const std::string& text);
// The text with every control character (line breaks, tabs, escape...)
// written as a visible escape, so outside text quoted in an output line can
// never start another line or move the cursor.
std::string singleLine(const std::string& text);
// The text without its control bytes (below 0x20, and 0x7F): what outside
// text may carry into a request header or a state file.
std::string withoutControlBytes(const std::string& text);
// The lines of a text, without their "\n" (a last line break ends the last
// line; it starts no empty one).
std::vector<std::string> linesOf(const std::string& text);
// A number written by printf's `format` ("%.2f", "%g") with "." as its
// decimal point whatever the C locale says.
std::string formatNumber(const char* format, double value);

// The file name of a desktop shortcut called `displayName`: a freedesktop
// entry "<displayName>.desktop" here, a shell link "<displayName>.lnk" on
// Windows.
std::string shortcutFileName(const std::string& displayName);
// Writes the shortcut at `linkPath`: it starts `target` in the target's
// folder and is called `displayName`.  Missing parent folders are made.  A
// file or link already at `linkPath` is replaced, never written through.
// False when nothing could be written.
bool writeShortcut(const std::string& target, const std::string& displayName,
                   const std::string& linkPath);

}  // namespace platform

// ---- Sockets -----------------------------------------------------------------
namespace platform {

// Lets a listening socket (a descriptor or SOCKET value) queue up to
// `backlog` connections not yet accepted.  False when it cannot.
bool setListenBacklog(long long socket, int backlog);

}  // namespace platform

// ---- Digests -------------------------------------------------------------------
namespace platform {

// Incremental SHA-256 with the system's implementation (the one that uses
// the processor's SHA instructions where it has them).  One object per
// thread; hex() ends it.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void add(const void* data, std::size_t size);
    // The digest as 64 lower-case hex digits; empty when the system could
    // not compute it.
    std::string hex();

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace platform

// ---- Proxies -------------------------------------------------------------------
namespace platform {

// The proxy the system's own settings give for `url`.  `fromSystem` false:
// the system leaves it to libcurl, which reads the *_proxy environment
// variables itself (Linux always; Windows when one of them is set).
// Otherwise `proxy` is "" for a direct connection or "scheme://host:port".
// Blocking (the first call may run the system's proxy detection and a PAC
// script; answers are kept for the rest of the run); any thread.
struct ProxyChoice {
    bool fromSystem = false;
    std::string proxy;
};
ProxyChoice systemProxyFor(const std::string& url);

// The parts of Windows' proxy settings, kept apart from the system calls
// so that both builds test them.
struct UrlParts {
    std::string scheme;  // lower case
    std::string host;    // lower case, IPv6 without brackets
    int port = 0;        // the scheme's default when the address names none
};
UrlParts urlPartsOf(const std::string& url);
// The proxy a list such as "host:8080" or "http=a:80;https=b:443" names for
// `scheme`, as "http://host:port" (a bare entry serves every scheme); "" when
// it names none.
std::string proxyForScheme(const std::string& list, const std::string& scheme);
// Whether a bypass list ("<local>;*.corp.example;10.*", separated by
// semicolons or blanks) sends `url` around the proxy.  As on Windows, loopback
// addresses always bypass unless the list holds "<-loopback>".
bool bypassesProxy(const std::string& bypassList, const std::string& url);

}  // namespace platform
