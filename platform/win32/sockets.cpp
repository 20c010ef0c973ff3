// Sockets on Winsock.
#include <winsock2.h>

#include "platform/platform.h"

namespace platform {

// Winsock keeps the backlog of a socket that already listens (a second
// listen() succeeds without changing it), so only a socket not yet
// listening can be given one.
bool setListenBacklog(long long socket, int backlog) {
    SOCKET handle = static_cast<SOCKET>(socket);
    BOOL listening = FALSE;
    int size = sizeof listening;
    if (getsockopt(handle, SOL_SOCKET, SO_ACCEPTCONN, reinterpret_cast<char*>(&listening), &size) !=
            0 ||
        listening) {
        return false;
    }
    return listen(handle, backlog) == 0;
}

}  // namespace platform
