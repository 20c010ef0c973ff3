#include <sched.h>
#include <sqlite3.h>
#include <sys/mount.h>

#include <filesystem>
#include <fstream>

#include "tests/faults/hostile.h"

namespace faulttest {
namespace {

// Mounts made from here on are this process's alone and go with it.
bool privateMounts() {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// The connection that holds a locked store open until the test process ends;
// kept where the leak checker sees it is still in use.
sqlite3* g_lockingStore = nullptr;

}  // namespace

bool makeHostile(Hostile what, const std::string& path, const std::string& target) {
    std::error_code error;
    switch (what) {
        case Hostile::Link:
            std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
            std::filesystem::create_symlink(target, path, error);
            return !error;
        case Hostile::ReadOnly:
            return privateMounts() &&
                   ::mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                   ::mount(nullptr, path.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                           nullptr) == 0;
        case Hostile::SmallDisk: {
            // A real tmpfs: writes past its end fail with ENOSPC.
            std::string size = "size=" + target;
            std::filesystem::create_directories(path, error);
            return ::mount("tmpfs", path.c_str(), "tmpfs", MS_REMOUNT, size.c_str()) == 0 ||
                   (privateMounts() &&
                    ::mount("tmpfs", path.c_str(), "tmpfs", 0, size.c_str()) == 0);
        }
        case Hostile::CorruptStore:
            return static_cast<bool>(std::ofstream(path) << std::string(8192, '\x5a'));
        case Hostile::RefusingStore: {
            sqlite3* db = nullptr;
            std::string sql =
                "CREATE TABLE IF NOT EXISTS registry_values(key TEXT NOT NULL COLLATE NOCASE, "
                "name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB NOT NULL, "
                "PRIMARY KEY (key, name)); CREATE TRIGGER refuse BEFORE INSERT ON registry_values "
                "WHEN NEW.name = '" +
                target + "' BEGIN SELECT RAISE(ABORT, 'refused'); END;";
            bool made = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
            sqlite3_close(db);
            return made;
        }
        case Hostile::LockedStore:
            return sqlite3_open(path.c_str(), &g_lockingStore) == SQLITE_OK &&
                   sqlite3_exec(g_lockingStore, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) ==
                       SQLITE_OK;
        case Hostile::HeldOpen:  // an open file never stands in a rename's way here
            return false;
    }
    return false;
}

}  // namespace faulttest
