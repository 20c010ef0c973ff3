// The version name on Windows: the naming table applied to what the system
// reports (under Wine as under Windows, an NT workstation of a known version).
#include <gtest/gtest.h>

#include "identity/identity.h"
#include "platform/platform.h"

namespace {

TEST(WindowsVersionName, OnWindowsComesFromTheNamingTable) {
    platform::OsVersionFacts facts = platform::osVersionFacts();
    EXPECT_EQ(facts.osName, "");
    EXPECT_EQ(facts.platformId, 2) << "VER_PLATFORM_WIN32_NT";
    EXPECT_EQ(facts.productType, 1) << "VER_NT_WORKSTATION";
    EXPECT_GE(facts.major, 5) << "the workstation service answered";

    std::string name = identity::windowsVersionName();
    EXPECT_EQ(name, identity::windowsVersionNameFor(facts.platformId, facts.productType,
                                                    facts.processorArchitecture, facts.major,
                                                    facts.minor));
    EXPECT_EQ(name.rfind("Windows", 0), 0u) << name;
    EXPECT_EQ(name.find("Unknow"), std::string::npos) << name;
}

}  // namespace
