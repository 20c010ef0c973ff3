// Device identity: the identifier and the name of the OS version.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "identity/identity.h"

namespace {

// Rows "platform-id product-type architecture major minor name": NT is 2, a
// workstation 1, a server 3, x86 0, amd64 9; of 65542.131073 (0x10006.0x20001)
// the low 16 bits count.  This system's name: its release name, or a known one.
TEST(WindowsVersionName, NamingTableAndThisSystem) {
    for (const char* row :
         {"2 3 0 5 0 Windows2000", "2 3 0 5 1 WindowsXP",
          "2 1 9 5 2 Windows XP Professional x64 Edition",
          "2 1 0 5 2 UnknowWindowsVersion,version=5.2",
          "2 3 9 5 2 UnknowWindowsVersion,version=5.2", "2 1 0 6 0 WindowsVista",
          "2 1 0 6 1 Windows7", "2 3 0 6 1 UnknowWindowsVersion,version=6.1", "2 1 0 6 2 Windows8",
          "2 1 9 6 3 Windows8.1", "2 1 9 10 0 Windows10", "2 1 9 11 0 Windows11",
          "2 1 9 12 0 UnknowWindowsVersion,version=12.0",
          "2 1 0 6 10 UnknowWindowsVersion,version=6.10", "1 0 0 4 10 dwPlatFormId=1Version=4.10",
          "2 1 0 65542 131073 Windows7"}) {
        std::istringstream in(row);
        int f[5] = {};
        std::string name;
        std::getline(in >> f[0] >> f[1] >> f[2] >> f[3] >> f[4] >> std::ws, name);
        EXPECT_EQ(identity::windowsVersionNameFor(f[0], f[1], f[2], f[3], f[4]), name) << row;
    }
    std::string here = identity::windowsVersionName();
    EXPECT_TRUE(!here.empty() && here.find("Unknow") == here.npos &&
                here.find("dwPlat") == here.npos)
        << here;
}

TEST(GuidId, ThirtyTwoLowerCaseHexDigitsOfARandomVersionFourUuid) {
    EXPECT_EQ(identity::formatGuidId({0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0xDC,
                                      0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}),
              "0123456789abcdeffedcba9876543210");
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        std::string id = *seen.insert(identity::newGuidId()).first;
        EXPECT_TRUE(id.size() == 32 && id.find_first_not_of("0123456789abcdef") == id.npos &&
                    id[12] == '4' && std::string("89ab").find(id[16]) != id.npos)
            << id;
    }
    EXPECT_EQ(seen.size(), 100u) << "no identifier twice";
}

}  // namespace
