// Sockets the reference backend listens on.
#include <sys/socket.h>

#include "platform/platform.h"

namespace platform {

bool setListenBacklog(long long socket, int backlog) {
    // A second listen() on a listening socket changes only its backlog.
    return ::listen(static_cast<int>(socket), backlog) == 0;
}

}  // namespace platform
