#include <gtest/gtest.h>

#include "identity/identity.h"

namespace {

struct NamingRow {
    int platformId, productType, architecture, major, minor;
    const char* name;
};

TEST(WindowsVersionName, NamingTable) {
    const int kNt = 2, kWorkstation = 1, kServer = 3, kAmd64 = 9, kIntel = 0;
    const NamingRow rows[] = {
        {kNt, kServer, kIntel, 5, 0, "Windows2000"},
        {kNt, kServer, kIntel, 5, 1, "WindowsXP"},
        {kNt, kWorkstation, kAmd64, 5, 2, "Windows XP Professional x64 Edition"},
        {kNt, kWorkstation, kIntel, 5, 2, "UnknowWindowsVersion,version=5.2"},
        {kNt, kServer, kAmd64, 5, 2, "UnknowWindowsVersion,version=5.2"},
        {kNt, kWorkstation, kIntel, 6, 0, "WindowsVista"},
        {kNt, kWorkstation, kIntel, 6, 1, "Windows7"},
        {kNt, kServer, kIntel, 6, 1, "UnknowWindowsVersion,version=6.1"},
        {kNt, kWorkstation, kIntel, 6, 2, "Windows8"},
        {kNt, kWorkstation, kAmd64, 6, 3, "Windows8.1"},
        {kNt, kWorkstation, kAmd64, 10, 0, "Windows10"},
        {kNt, kWorkstation, kAmd64, 11, 0, "Windows11"},
        {kNt, kWorkstation, kAmd64, 12, 0, "UnknowWindowsVersion,version=12.0"},
        {kNt, kWorkstation, kIntel, 0, 0, "UnknowWindowsVersion,version=0.0"},
        {kNt, kWorkstation, kIntel, 6, 10, "UnknowWindowsVersion,version=6.10"},
        {1, 0, kIntel, 4, 10, "dwPlatFormId=1Version=4.10"},
        {0, 0, kIntel, 0, 0, "dwPlatFormId=0Version=0.0"},
        {kNt, kWorkstation, kIntel, 0x10006, 0x20001, "Windows7"},  // low 16 bits only
    };
    for (const NamingRow& row : rows) {
        EXPECT_EQ(identity::windowsVersionNameFor(row.platformId, row.productType, row.architecture,
                                                  row.major, row.minor),
                  row.name)
            << row.major << "." << row.minor;
    }
}

TEST(GuidId, ThirtyTwoLowerCaseHexDigits) {
    std::array<std::uint8_t, 16> bytes{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                       0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
    EXPECT_EQ(identity::formatGuidId(bytes), "0123456789abcdeffedcba9876543210");

    std::string first = identity::newGuidId();
    ASSERT_EQ(first.size(), 32u);
    EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos) << first;
    EXPECT_NE(first, identity::newGuidId());
}

}  // namespace
