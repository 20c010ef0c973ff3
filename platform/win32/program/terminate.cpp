// The program's own std::terminate handler, linked into hobnar-setup.exe in
// place of libstdc++'s verbose one, which brings the C++ name demangler
// (about 46 KB of a program that is downloaded).  An exception that escapes
// is a fault of ours: one line on the debugger channel and standard error,
// then the abort the library's handler ends with too.
#include <cstdlib>
#include <exception>

#include "platform/platform.h"

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    platform::debugOutput("hobnar-setup: terminated by an exception that nothing caught");
    std::abort();
}

}  // namespace __gnu_cxx
