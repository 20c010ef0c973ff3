// The UnRAR library's own header as Debian installs it.
#define _UNIX
#include <unrar/dll.hpp>
