// Diagnostics, random identity bytes and OS version facts.
#include <sys/random.h>
#include <sys/utsname.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

std::mutex& outputMutex() {
    static std::mutex mutex;
    return mutex;
}

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

// Shell-style value of an os-release assignment: quotes removed, backslash
// escapes resolved.
std::string unquoteOsReleaseValue(const std::string& raw) {
    std::string value;
    char quote = 0;
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (quote == 0 && (c == '"' || c == '\'')) {
            quote = c;
        } else if (quote != 0 && c == quote) {
            quote = 0;
        } else if (c == '\\' && quote != '\'' && i + 1 < raw.size()) {
            value += raw[++i];
        } else {
            value += c;
        }
    }
    return value;
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

void debugOutput(const std::string& text) {
    std::lock_guard<std::mutex> lock(outputMutex());
    std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void debugLog(const std::string& message) {
    debugOutput("QvmAudioDownCall: " + message);
}

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

std::string parseOsReleaseName(const std::string& osReleaseText) {
    std::string prettyName, name, version;
    std::istringstream lines(osReleaseText);
    std::string line;
    while (std::getline(lines, line)) {
        size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, eq);
        std::string value = unquoteOsReleaseValue(line.substr(eq + 1));
        if (key == "PRETTY_NAME") {
            prettyName = value;
        } else if (key == "NAME") {
            name = value;
        } else if (key == "VERSION") {
            version = value;
        }
    }
    if (!prettyName.empty()) {
        return prettyName;
    }
    if (!name.empty() && !version.empty()) {
        return name + " " + version;
    }
    return name;
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
