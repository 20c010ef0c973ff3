// What a hostile or careless environment does to an install folder, made for
// real where this system can; false where it cannot (the case is then
// skipped there).
#pragma once

#include <string>

namespace faulttest {

enum class Hostile {
    Link,          // a symbolic link at `path` (its folder made) to `target`
    ReadOnly,      // the folder `path` read-only for the rest of this test process
    SmallDisk,     // `path` a volume of `target` bytes for the rest of this process; again: resized
    CorruptStore,  // the registry store at `path` overwritten with other bytes
    LockedStore,   // the store at `path` in another writer's transaction until the process ends
    RefusingStore,  // the store at `path` refuses to store the value named `target`
    HeldOpen,       // the file `path` opened by another as a scanner does (no delete sharing) for
                    // `target` ms
};
bool makeHostile(Hostile what, const std::string& path, const std::string& target = "");

}  // namespace faulttest
