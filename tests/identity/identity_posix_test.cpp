// The version name on a POSIX system: the release name, not the Windows table.
#include <gtest/gtest.h>

#include "identity/identity.h"
#include "platform/platform.h"

namespace {

TEST(WindowsVersionName, OnThisSystemComesFromTheReleaseName) {
    std::string name = identity::windowsVersionName();
    EXPECT_EQ(name, platform::osVersionFacts().osName);
    EXPECT_FALSE(name.empty());
}

}  // namespace
