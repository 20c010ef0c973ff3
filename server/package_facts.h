// What the backend tells clients about its package beyond the bytes: the
// SHA-256 digest announced by getInstallInfo, the minisign signature served
// beside the package route, and the validators (ETag, Last-Modified) of the
// package responses.  The --no-digest, --wrong-digest and --wrong-signature
// faults are applied here.
//
// Contract: loadPackageFacts runs once at start-up, before serving, and reads
// the whole package file (SHA-256 by libsodium).  The facts are then fixed
// and read by the routes on any thread.  Failures are values.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "server/options.h"

namespace server {

struct PackageFacts {
    std::optional<std::string> announcedSha256;  // 64 lower-case hex digits
    std::optional<std::string> signature;        // the .minisig file's bytes
    // --release: getInstallInfo's object as install-info.json holds it (its
    // size and sha256 checked against the package at start-up), JSON text.
    std::optional<std::string> installInfo;
    // The file as it was read; the validators hold only while it is unchanged.
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
    std::string etag;          // a strong entity tag derived from the real digest
    std::string lastModified;  // IMF-fixdate
    // The modification time lies in a second before the one the file was
    // read in, so the date can validate a range (RFC 9110 8.8.2.2).
    bool lastModifiedIsStrong = false;
};

// Reads the package, the --signature file and a release folder's
// install-info.json; the error names the file and says what is wrong with it.
bool loadPackageFacts(const ServerOptions& options, PackageFacts& facts, std::string& error);

// Whether `path` still is the file the facts were taken from.
bool packageUnchanged(const PackageFacts& facts, const std::string& path);

}  // namespace server
