#include "tests/faults/hostile.h"

namespace faulttest {

// Under Wine a link made on the build machine is followed like the file it
// names, so a planted link cannot be told from that file here.
bool plantLink(const std::string&, const std::string&) {
    return false;
}

// Wine does not enforce access rights.
bool makeReadOnly(const std::string&) {
    return false;
}

bool breakRegistryStore(const std::string&, StoreBreak) {
    return false;
}

}  // namespace faulttest
