// What a hostile or careless environment does to an install folder, made for
// real where this system can: each answers false where it cannot (the case
// is then skipped there).
#pragma once

#include <string>

namespace faulttest {

// A symbolic link at `at` to `target`.
bool plantLink(const std::string& target, const std::string& at);
// The folder read-only for the rest of this test process (a private bind
// mount where mount namespaces are allowed).
bool makeReadOnly(const std::string& folder);

enum class StoreBreak { IsAFolder, Corrupt, Locked };
// The registry store at `path` broken that way; a lock is held until the
// process ends.  Only the SQLite store of the POSIX build can be broken.
bool breakRegistryStore(const std::string& path, StoreBreak how);

}  // namespace faulttest
