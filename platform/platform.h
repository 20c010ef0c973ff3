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

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

constexpr char kPathSep = '/';

// ---- Known folders -------------------------------------------------------
// Each returns an absolute folder path without a trailing separator, or an
// empty string when the folder cannot be determined.  The folder is not
// required to exist yet.

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
// One line on the debugger channel (standard error here): `text` followed by
// a line break.  Thread-safe; lines never interleave.
void debugOutput(const std::string& text);
// The installer's own tagged diagnostic: "QvmAudioDownCall: " + message.
void debugLog(const std::string& message);

// ---- Identity sources ----------------------------------------------------
// 16 random bytes from the kernel, laid out as an RFC 4122 version 4 UUID.
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
// $HOBNAR_REGISTRY_DB, else <localAppDataDir>/hobnar/registry.db.  Key paths
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

// ---- Files -----------------------------------------------------------------
bool fileExists(const std::string& path);

}  // namespace platform

// ---- Processes -------------------------------------------------------------
namespace platform {

// Starts a program from an argument vector (argv[0] is a path or a name
// searched on PATH), detached: the caller does not wait for it and it outlives
// the caller.  No shell is involved.  False when it could not be started.
bool startDetached(const std::vector<std::string>& argv);
// Starts the file at `path` the way a double-click would: directly when it is
// an executable file, otherwise through the desktop's default handler.
bool launchFile(const std::string& path);
// Opens a URL (or file) with the desktop's default handler.
bool openWithDefaultHandler(const std::string& target);

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

// Opens `path` for reading and writing, creating it (empty) when missing and
// keeping its content otherwise.  Every write goes to the end of the file.
// Returns a closed handle on failure.
FileHandle openFileForAppend(const std::string& path);
// Current size in bytes (64-bit), or -1 when it cannot be read.
std::int64_t fileSize(FileHandle file);
// Writes all `size` bytes at the end of the file; false when not all of them
// could be written.
bool appendToFile(FileHandle file, const void* data, std::size_t size);
// Cuts (or extends) the file to `size` bytes; the next write goes to the new end.
bool truncateFile(FileHandle file, std::int64_t size);
// Closes the handle and marks it closed; a closed handle is left alone.
void closeFile(FileHandle& file);
// Deletes a file (not a folder); true when it is gone afterwards.
bool removeFile(const std::string& path);

// Size and free bytes of the volume holding an existing path.  freeBytes are
// all free bytes of the volume, including those reserved for the superuser.
struct DiskSpace {
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;
};
// nullopt when the path does not exist or the volume cannot be queried.
std::optional<DiskSpace> diskSpace(const std::string& path);

// A shared library loaded by file name (searched the system's usual way), or
// nullptr.  It stays loaded until the process ends.
void* loadLibrary(const std::string& name);
// The address of an exported symbol of a loaded library, or nullptr.
void* librarySymbol(void* library, const std::string& symbol);

}  // namespace platform

// ---- Sockets -----------------------------------------------------------------
namespace platform {

// Lets a listening socket (a descriptor or SOCKET value) queue up to
// `backlog` connections not yet accepted.  False when it cannot.
bool setListenBacklog(long long socket, int backlog);

}  // namespace platform
