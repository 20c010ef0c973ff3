#include "tests/faults/hostile.h"

namespace faulttest {

// Under Wine a link made on the build machine is followed like the file it
// names, access rights are not enforced, and the registry is the system's
// own: none of these can be made here.
bool makeHostile(Hostile, const std::string&, const std::string&) {
    return false;
}

}  // namespace faulttest
