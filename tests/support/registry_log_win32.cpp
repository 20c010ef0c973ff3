// RegistryWriteLog on Windows: the registry offers no record of the order of
// writes (change notifications are coalesced and carry no value names).
#include "tests/support/registry_log.h"

namespace testsupport {

struct RegistryWriteLog::Store {};

RegistryWriteLog::RegistryWriteLog(const TempEnvironment&) : m_store(new Store) {}

RegistryWriteLog::~RegistryWriteLog() = default;

bool RegistryWriteLog::observable() const {
    return false;
}

std::vector<std::string> RegistryWriteLog::names() {
    return {};
}

void RegistryWriteLog::clear() {}

}  // namespace testsupport
