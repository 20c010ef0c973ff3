// Diagnostics, random identity bytes and OS version facts (the release name
// parser is shared: platform/os_release.cpp).
#include <sys/random.h>
#include <sys/utsname.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/platform.h"
#include "platform/system_debug.h"

namespace platform {
namespace {

bool fillFromKernel(std::uint8_t* bytes, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t got = ::getrandom(bytes + done, count - done, 0);
        if (got <= 0) {
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

std::string readWholeFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string kernelName() {
    struct utsname names {};
    if (::uname(&names) != 0) {
        return "Linux";
    }
    return std::string(names.sysname) + " " + names.release;
}

}  // namespace

// Standard error is this system's diagnostics channel already.
void systemDebugOutput(const std::string&) {}

std::array<std::uint8_t, 16> newGuidBytes() {
    std::array<std::uint8_t, 16> bytes{};
    if (!fillFromKernel(bytes.data(), bytes.size())) {
        std::random_device device;
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(device());
        }
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
    return bytes;
}

OsVersionFacts osVersionFacts() {
    OsVersionFacts facts;
    facts.osName = parseOsReleaseName(readWholeFile("/etc/os-release"));
    if (facts.osName.empty()) {
        facts.osName = parseOsReleaseName(readWholeFile("/usr/lib/os-release"));
    }
    if (facts.osName.empty()) {
        facts.osName = kernelName();
    }
    return facts;
}

}  // namespace platform

namespace platform {

// libcurl reads the *_proxy environment variables, the proxy settings of
// a Linux desktop session.
ProxyChoice systemProxyFor(const std::string&) {
    return {};
}

}  // namespace platform
