#include <windows.h>

#include <string>
#include <thread>

#include "platform/platform.h"
#include "tests/faults/hostile.h"

namespace faulttest {

// Under Wine a link made on the build machine is followed like the file it
// names, access rights are not enforced, and the registry is the system's
// own: none of these can be made here.  A file held open is: its handle
// shares reading and writing but not deletion, as a virus scanner's does,
// and is closed on a thread of its own.
bool makeHostile(Hostile what, const std::string& path, const std::string& target) {
    if (what != Hostile::HeldOpen) {
        return false;
    }
    HANDLE held =
        CreateFileW(platform::toWide(path).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD milliseconds = static_cast<DWORD>(std::stoul(target));
    std::thread([held, milliseconds] {
        Sleep(milliseconds);
        CloseHandle(held);
    }).detach();
    return true;
}

}  // namespace faulttest
