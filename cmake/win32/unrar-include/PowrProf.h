// UnRAR includes the header under its Windows SDK spelling; MinGW-w64 ships it
// in lower case, which matters on a case-sensitive file system.
#include <powrprof.h>
