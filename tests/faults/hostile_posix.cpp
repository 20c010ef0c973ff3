#include <sched.h>
#include <sqlite3.h>
#include <sys/mount.h>

#include <filesystem>
#include <fstream>

#include "tests/faults/hostile.h"

namespace faulttest {

bool plantLink(const std::string& target, const std::string& at) {
    std::error_code error;
    std::filesystem::create_symlink(target, at, error);
    return !error;
}

bool makeReadOnly(const std::string& folder) {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) ==
               0;
}

bool breakRegistryStore(const std::string& path, StoreBreak how) {
    std::error_code error;
    switch (how) {
        case StoreBreak::IsAFolder:
            return std::filesystem::create_directories(path, error);
        case StoreBreak::Corrupt:
            return static_cast<bool>(std::ofstream(path) << std::string(8192, '\x5a'));
        case StoreBreak::Locked: {
            // Another writer in the middle of a transaction, for as long as
            // the test runs.
            sqlite3* store = nullptr;
            return sqlite3_open(path.c_str(), &store) == SQLITE_OK &&
                   sqlite3_exec(store, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
        }
    }
    return false;
}

}  // namespace faulttest
