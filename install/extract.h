// Archive extraction through the UnRAR library, loaded by name at run time.
// Internal to the install engine.  Blocking; the download thread runs it.
#pragma once

#include <functional>
#include <string>

namespace install {

enum class ExtractStatus {
    Ok,
    LibraryMissing,  // the UnRAR library or one of its calls is not available; archive kept
    NotAnArchive,    // the archive cannot be opened; archive kept
    DamagedEntry,    // an entry could not be read or written; later entries skipped
    UnsafeEntry,     // an entry would land outside the product folder; later entries skipped
    Encrypted,       // the archive or an entry wants a password
    DiskFull,        // no room left for an entry
    NotWritable,     // an entry's file cannot be created or written
    Stopped,         // the caller asked to stop before an entry
};

struct ExtractResult {
    ExtractStatus status = ExtractStatus::Ok;
    int entriesWritten = 0;
    std::string failedEntry;  // name of the entry that stopped the extraction
    bool ok() const { return status == ExtractStatus::Ok; }
};

// A short English description of a status, for diagnostics.
const char* describeExtractStatus(ExtractStatus status);

// Hears each entry's name (control characters escaped) before the entry is
// unpacked; answering false stops the extraction there (Stopped).
using EntryCallback = std::function<bool(const std::string& name)>;

// Unpacks every entry of the RAR archive into productFolder, handing each
// entry's name to onEntry first.  Stops at the first
// damaged or unsafe entry: names that are absolute or climb out with "..", and links whose target
// is absolute, climbs with ".." or is not known, are never extracted.  An archive that opened is
// deleted afterwards unless the caller stopped it; one that did not open stays.
ExtractResult extractArchive(const std::string& archivePath, const std::string& productFolder,
                             const EntryCallback& onEntry);
// True when an archive entry name (or a link target) stays inside the folder
// it is extracted into: relative, without a ".." component, naming something
// below the folder (not "." alone), no component over 255 bytes.  "/" and
// "\" both count as separators.
bool isContainedEntryPath(const std::string& name);

}  // namespace install
