#include <chrono>
#include <thread>

#include "platform/platform.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

using testsupport::ChildProcess;
using testsupport::IsolatedTest;

namespace {

const char* const kKey = "SOFTWARE\\ZorozAvuzado";

// One fixture type for the suite, whose cases live in more than one file.
using RegistryStore = IsolatedTest;

TEST_F(RegistryStore, ValuesOfAnyLengthReadBackWhole) {
    std::string big(10000, 'x');
    big[9999] = 'E';
    ASSERT_TRUE(platform::registryWrite(kKey, "big", big));
    EXPECT_EQ(platform::registryRead(kKey, "big"), big);

    ASSERT_TRUE(platform::registryWrite(kKey, "empty", ""));
    std::optional<std::string> empty = platform::registryRead(kKey, "empty");
    ASSERT_TRUE(empty.has_value()) << "a zero-length value exists";
    EXPECT_EQ(*empty, "");
    EXPECT_FALSE(platform::registryRead(kKey, "missing").has_value());

    std::string withNul("a\0b", 3);
    ASSERT_TRUE(platform::registryWrite(kKey, "withNul", withNul));
    EXPECT_EQ(platform::registryRead(kKey, "withNul"), withNul);
}

TEST_F(RegistryStore, NamesMatchCaseInsensitivelyAndOverwriteInPlace) {
    ASSERT_TRUE(platform::registryWrite(kKey, "pcId", "one"));
    EXPECT_EQ(platform::registryRead("software\\zorozavuzado", "PCID"), "one");
    ASSERT_TRUE(platform::registryWrite("SOFTWARE\\ZOROZAVUZADO", "PcId", "two"));
    EXPECT_EQ(platform::registryRead(kKey, "pcId"), "two");
    EXPECT_FALSE(platform::registryRead("SOFTWARE\\Other", "pcId").has_value());

    EXPECT_TRUE(platform::registryDelete(kKey, "PCID"));
    EXPECT_FALSE(platform::registryRead(kKey, "pcId").has_value());
    EXPECT_FALSE(platform::registryDelete(kKey, "pcId"));
}

TEST_F(RegistryStore, TwoProcessesWritingAtOnceLoseNothing) {
    const int count = 150;
    std::string writer = testsupport::buildToolPath("registry_writer");
    ChildProcess first({writer, "many", kKey, "first", std::to_string(count)});
    ChildProcess second({writer, "many", kKey, "second", std::to_string(count)});
    ASSERT_EQ(first.wait(), 0);
    ASSERT_EQ(second.wait(), 0);
    for (int i = 0; i < count; ++i) {
        for (std::string prefix : {"first", "second"}) {
            std::string name = prefix + std::to_string(i);
            ASSERT_EQ(platform::registryRead(kKey, name), name);
        }
    }
}

TEST_F(RegistryStore, AProcessKilledMidWriteLeavesAWholeValue) {
    const size_t size = 200000;
    ASSERT_TRUE(platform::registryWrite(kKey, "blob", std::string(size, '0')));
    std::string writer = testsupport::buildToolPath("registry_writer");
    for (int round = 0; round < 5; ++round) {
        ChildProcess loop({writer, "loop", kKey, "blob", std::to_string(size)});
        std::this_thread::sleep_for(std::chrono::milliseconds(40 + 37 * round));
        loop.kill(testsupport::kKillSignal);
        EXPECT_EQ(loop.wait(), 128 + testsupport::kKillSignal);

        std::optional<std::string> value = platform::registryRead(kKey, "blob");
        ASSERT_TRUE(value.has_value());
        ASSERT_EQ(value->size(), size);
        EXPECT_EQ(value->find_first_not_of((*value)[0]), std::string::npos)
            << "a value is either the old or a new one, never a mix";
    }
}

}  // namespace
