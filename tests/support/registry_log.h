// The order in which values are written into the registry, as far as the
// system lets a test observe it: the POSIX store is an SQLite file whose
// triggers record every write; the Windows registry keeps no such record, so
// there the log reports itself unobservable and tests check the values only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_env.h"

namespace testsupport {

class RegistryWriteLog {
  public:
    // Starts recording in the test's registry (made when missing).
    explicit RegistryWriteLog(const TempEnvironment& env);
    ~RegistryWriteLog();
    RegistryWriteLog(const RegistryWriteLog&) = delete;
    RegistryWriteLog& operator=(const RegistryWriteLog&) = delete;

    // False where writes cannot be observed; names() is then always empty.
    bool observable() const;
    // The names of the values written since the start (or clear()), in order.
    std::vector<std::string> names();
    void clear();

  private:
    struct Store;
    std::unique_ptr<Store> m_store;
};

}  // namespace testsupport
