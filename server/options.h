// Command-line options of hobnar-backend.
//
// Contract: parseOptions is a pure function of its arguments (no I/O, never
// throws); the caller prints the error or the usage text and picks the exit
// code.  Options with a value may be given as "--opt value" or "--opt=value".
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace server {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 18080;  // 0 lets the system choose a free port
    std::string packagePath;
    std::string packageUrl;  // empty: this server's own package route, from the Host header
    std::string version = "2.0.1";
    std::string channel = "guanwang";
    std::string dbPath = "hobnar-backend-events.db";
    bool listEvents = false;
    bool help = false;
    std::string signaturePath;  // minisign signature served beside the package
    // --release FOLDER: the package, its signature and install-info.json of
    // that folder, served as they are (the paths below are set from it).
    std::string releaseFolder;
    std::string installInfoPath;  // getInstallInfo's object, as scripts/release.sh wrote it
    bool noDigest = false;        // getInstallInfo announces no "sha256"

    // Faults that make the server misbehave like real networks and servers.
    std::uint64_t bandwidth = 0;  // bytes per second per package response; 0 = unlimited
    bool dropAfterSet = false;
    std::uint64_t dropAfter = 0;  // body bytes per package response before the connection closes
    bool ignoreRange = false;
    bool rangeAs200 = false;  // a honoured range answered with 200
    bool noLength = false;
    std::map<std::string, int> statusByPath;
    std::map<std::string, std::string> replyByPath;
    std::map<std::string, std::string> redirectByPath;
    double stallSeconds = 0;
    std::string stallPath;  // empty: every path stalls
    // The first failFirst package requests are answered with failFirstStatus.
    std::uint64_t failFirst = 0;
    int failFirstStatus = 503;
    bool wrongDigest = false;     // a well-formed "sha256" of other bytes
    bool wrongSignature = false;  // a well-formed signature that does not verify
};

struct ParsedOptions {
    ServerOptions options;
    std::string error;  // empty when the arguments were valid
};

// Parses the arguments after the program name.
ParsedOptions parseOptions(const std::vector<std::string>& args);

// The text printed by --help.
std::string usageText();

}  // namespace server
