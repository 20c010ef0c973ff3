// Device identity: the identifier and the OS version name that every backend
// request reports.  Free functions, callable from any thread, no state, no
// failure path: each always returns a usable text.  Independent of the
// installer context.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace identity {

// A fresh identifier: 32 lower-case hexadecimal digits, no dashes or braces.
std::string newGuidId();
// The identifier text for given GUID bytes (fields in the GUID's order).
std::string formatGuidId(const std::array<std::uint8_t, 16>& guid);

// The name of the running OS version, e.g. "Windows7" on Windows or
// "Debian GNU/Linux 12 (bookworm)" on a Linux system.
std::string windowsVersionName();

// The Windows naming table: platform id, product type and processor
// architecture as the system reports them, and the workstation major/minor
// version (0.0 when that query failed).
std::string windowsVersionNameFor(int platformId, int productType, int processorArchitecture,
                                  int major, int minor);

}  // namespace identity
