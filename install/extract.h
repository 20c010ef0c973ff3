// Archive extraction through the UnRAR library, loaded by name at run time.
// Internal to the install engine.  Blocking; the download thread runs it.
#pragma once

#include <iosfwd>
#include <string>

enum class ExtractStatus {
    Ok,
    LibraryMissing,  // the UnRAR library or one of its calls is not available; archive kept
    NotAnArchive,    // the archive cannot be opened; archive kept
    DamagedEntry,    // an entry could not be read or written; later entries skipped
    UnsafeEntry,     // an entry would land outside the product folder; later entries skipped
    Encrypted,       // the archive or an entry wants a password
    DiskFull,        // no room left for an entry
    NotWritable,     // an entry's file cannot be created or written
};

struct ExtractResult {
    ExtractStatus status = ExtractStatus::Ok;
    int entriesWritten = 0;
    std::string failedEntry;  // name of the entry that stopped the extraction
    bool ok() const { return status == ExtractStatus::Ok; }
};

// A short English description of a status, for diagnostics.
const char* describeExtractStatus(ExtractStatus status);

// Unpacks every entry of the RAR archive into productFolder, writing each
// entry's name on its own line to namesOut (control characters escaped).  Stops at the first
// damaged or unsafe entry: names that are absolute or climb out with "..", and links whose target
// is absolute, climbs with ".." or is not known, are never extracted.  An archive that opened is
// deleted afterwards whatever happened; one that did not open stays.
ExtractResult extractArchive(const std::string& archivePath, const std::string& productFolder,
                             std::ostream& namesOut);
// True when an archive entry name (or a link target) stays inside the folder
// it is extracted into: relative, without a ".." component.  "/" and "\" both
// count as separators.
bool isContainedEntryPath(const std::string& name);
