#include "identity/identity.h"

#include <cstdio>

#include "platform/platform.h"

namespace identity {
namespace {

constexpr int kPlatformWin32Nt = 2;
constexpr int kNtWorkstation = 1;
constexpr int kArchitectureAmd64 = 9;

struct VersionRow {
    const char* versionText;
    bool needsWorkstation;
    bool needsAmd64;
    const char* name;
};

// First matching row wins.
constexpr VersionRow kVersionRows[] = {
    {"5.0", false, false, "Windows2000"},
    {"5.1", false, false, "WindowsXP"},
    {"5.2", true, true, "Windows XP Professional x64 Edition"},
    {"6.0", true, false, "WindowsVista"},
    {"6.1", true, false, "Windows7"},
    {"6.2", true, false, "Windows8"},
    {"6.3", true, false, "Windows8.1"},
    {"10.0", true, false, "Windows10"},
    {"11.0", true, false, "Windows11"},
};

}  // namespace

std::string formatGuidId(const std::array<std::uint8_t, 16>& guid) {
    std::string text;
    text.reserve(32);
    static const char kDigits[] = "0123456789abcdef";
    for (std::uint8_t byte : guid) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

std::string newGuidId() {
    return formatGuidId(platform::newGuidBytes());
}

std::string windowsVersionNameFor(int platformId, int productType, int processorArchitecture,
                                  int major, int minor) {
    char versionText[32];
    std::snprintf(versionText, sizeof versionText, "%d.%d", major & 0xFFFF, minor & 0xFFFF);
    if (platformId != kPlatformWin32Nt) {
        return "dwPlatFormId=" + std::to_string(platformId) + "Version=" + versionText;
    }
    for (const VersionRow& row : kVersionRows) {
        if (std::string(row.versionText) != versionText) {
            continue;
        }
        if (row.needsWorkstation && productType != kNtWorkstation) {
            continue;
        }
        if (row.needsAmd64 && processorArchitecture != kArchitectureAmd64) {
            continue;
        }
        return row.name;
    }
    return std::string("UnknowWindowsVersion,version=") + versionText;
}

std::string windowsVersionName() {
    platform::OsVersionFacts facts = platform::osVersionFacts();
    if (!facts.osName.empty()) {
        return facts.osName;
    }
    return windowsVersionNameFor(facts.platformId, facts.productType, facts.processorArchitecture,
                                 facts.major, facts.minor);
}

}  // namespace identity
