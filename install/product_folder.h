// The folders an install run works in, held open: the install folder and the
// product folder (which other users may share), and the run's private
// folder, where the archive arrives, is checked and is unpacked.  Internal
// to the install engine; blocking, the run's thread.
//
// Nothing another user placed is used: an install folder others may change,
// a product folder, an entry in it or a lock that is not ours, anything that
// is a link where a folder should be, ends the run with ForeignFile naming
// it and its owner.  The checked archive lies where only we can write, so
// the bytes unpacked are the bytes checked.
#pragma once

#include <string>

#include "install/extract.h"
#include "install/outcome.h"
#include "platform/platform.h"

namespace install {

// The folder that holds `path`: everything before its last separator ("."
// when there is none).
std::string parentFolderOf(const std::string& path);

// What a run holds from preparing the folders to its end.
struct HeldFolders {
    platform::FolderHandle install;
    platform::FolderHandle product;
    platform::FileHandle lock;
    bool madeProduct = false;  // this run made the product folder
};

// Makes and checks the private folder, the install folder and the product
// folder, and takes the install folder's lock against a second installation
// into it.  FolderTooLong for a folder where not even the main program's
// path would fit the system's paths (platform::pathFits).
InstallOutcome prepareFolders(const std::string& productFolder, HeldFolders& held);
// Closes what `held` holds and lets go of the lock; after a failure, a
// product folder this run made and left empty goes too.
void releaseFolders(HeldFolders& held, bool failed);

// Unpacks the archive into a fresh folder of the private folder, gives its
// entries sane permissions and, only when the whole package unpacked and
// holds the main program and every entry's path fits the system's paths
// (else FolderTooLong, naming the entry), moves them into the product
// folder (files the package lacks stay).
InstallOutcome unpackIntoProductFolder(const std::string& archivePath, HeldFolders& held,
                                       const EntryCallback& onEntry);

}  // namespace install
