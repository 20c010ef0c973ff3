// What the POSIX file code shares between its files.  Internal to platform/.
#pragma once

#include "platform/platform.h"

namespace platform::posix {

// The IoError an errno value amounts to.
IoError ioErrorOf(int error);

// Opens a regular file and nothing else, relative to the folder descriptor
// `folder` (AT_FDCWD: the working folder): never through a final link, and
// without blocking on a FIFO or a device planted under the name; a new file
// is the owner's alone.  -1 when it cannot.
int openRegularAt(int folder, const char* path, int flags);

}  // namespace platform::posix
