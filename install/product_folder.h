// The product folder on disk: making it, and putting an unpacked package into
// it only once the whole package unpacked.  Internal to the install engine;
// blocking, the run's thread.  Only a run holding the install folder's lock
// calls these.
#pragma once

#include <string>

#include "install/extract.h"
#include "install/outcome.h"

namespace install {

// The folder that holds `path`: everything before its last separator ("."
// when there is none).
std::string parentFolderOf(const std::string& path);

// Creates the product folder as named (parents included; no shell ever sees
// the name).  FolderTooLong for a name the UnRAR library could not hold with
// the entries below it.
InstallOutcome makeProductFolder(const std::string& productFolder);

// Removes what a run killed while unpacking left beside the product folder.
void removeLeftUnpackingFolders(const std::string& productFolder);

// Unpacks the archive into a fresh folder beside the product folder and,
// only when the whole package unpacked and holds the main program, moves
// its entries into the product folder (files the package lacks stay).
InstallOutcome unpackIntoProductFolder(const std::string& archivePath,
                                       const std::string& productFolder,
                                       const EntryCallback& onEntry);

}  // namespace install
