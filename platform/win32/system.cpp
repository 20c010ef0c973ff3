// Diagnostics, identity bytes and OS version facts from the Windows API.
#include <windows.h>
// After windows.h, which they rely on.
#include <lm.h>
#include <objbase.h>

#include <string>

#include "platform/platform.h"
#include "platform/system_debug.h"
#include "platform/win32/win32_text.h"

namespace platform {
namespace {

void putBigEndian(std::uint8_t* out, unsigned long value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i)));
    }
}

// Major and minor version of the workstation service, each cut to its low 16
// bits; 0.0 when the query fails.
void readWorkstationVersion(OsVersionFacts& facts) {
    WKSTA_INFO_100* info = nullptr;
    if (NetWkstaGetInfo(nullptr, 100, reinterpret_cast<LPBYTE*>(&info)) == NERR_Success &&
        info != nullptr) {
        facts.major = static_cast<int>(info->wki100_ver_major & 0xFFFF);
        facts.minor = static_cast<int>(info->wki100_ver_minor & 0xFFFF);
    }
    if (info != nullptr) {
        NetApiBufferFree(info);
    }
}

}  // namespace

// A debugger (or DebugView) shows the line.
void systemDebugOutput(const std::string& line) {
    OutputDebugStringW(win32::wide(line).c_str());
}

// The GUID's fields in their printed order (the 32-bit field, the two 16-bit
// fields, the eight bytes), each most significant byte first, which is the
// order identity::formatGuidId writes.  No COM initialisation is needed for
// CoCreateGuid, and its result is not examined: a failed call leaves zeros.
std::array<std::uint8_t, 16> newGuidBytes() {
    GUID guid{};
    CoCreateGuid(&guid);
    std::array<std::uint8_t, 16> bytes{};
    putBigEndian(&bytes[0], guid.Data1, 4);
    putBigEndian(&bytes[4], guid.Data2, 2);
    putBigEndian(&bytes[6], guid.Data3, 2);
    for (int i = 0; i < 8; ++i) {
        bytes[8 + i] = guid.Data4[i];
    }
    return bytes;
}

// Architecture from GetSystemInfo (as the process sees it: x86 for a 32-bit
// program under WOW64), platform id and product type from the extended
// version record, the version numbers from the workstation service; osName
// stays empty so identity names the version from its table.
OsVersionFacts osVersionFacts() {
    OsVersionFacts facts;
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    facts.processorArchitecture = system.wProcessorArchitecture;

    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
        facts.platformId = static_cast<int>(version.dwPlatformId);
        facts.productType = version.wProductType;
    }
    readWorkstationVersion(facts);
    return facts;
}

}  // namespace platform
