#include <string>

#include "platform/platform.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

class StreamedFile : public IsolatedTest {};

TEST_F(StreamedFile, AppendsKeepsContentAndRestartsAfterTruncation) {
    std::string path = env.root + "/pack age.rar";
    writeFile(path, "old");
    platform::FileHandle file = platform::openFileForAppend(path);
    ASSERT_TRUE(file.isOpen());
    EXPECT_EQ(platform::fileSize(file), 3);
    EXPECT_EQ(platform::appendToFile(file, "+new", 4), platform::IoError::None);
    EXPECT_EQ(platform::fileSize(file), 7);
    EXPECT_EQ(readFile(path), "old+new");

    EXPECT_TRUE(platform::truncateFile(file, 0));
    EXPECT_EQ(platform::appendToFile(file, "again", 5), platform::IoError::None);
    EXPECT_EQ(readFile(path), "again");

    platform::closeFile(file);
    EXPECT_FALSE(file.isOpen());
    platform::closeFile(file);
    EXPECT_EQ(platform::fileSize(file), -1);
    EXPECT_NE(platform::appendToFile(file, "x", 1), platform::IoError::None);

    EXPECT_TRUE(platform::removeFile(path));
    EXPECT_FALSE(platform::fileExists(path));
    EXPECT_TRUE(platform::removeFile(path));
}

TEST_F(StreamedFile, CreatesMissingFilesButNotFolders) {
    platform::FileHandle created = platform::openFileForAppend(env.root + "/新的.rar");
    ASSERT_TRUE(created.isOpen());
    EXPECT_EQ(platform::fileSize(created), 0);
    platform::closeFile(created);
    EXPECT_TRUE(platform::fileExists(env.root + "/新的.rar"));

    EXPECT_FALSE(platform::openFileForAppend(env.root + "/missing/x.rar").isOpen());
    EXPECT_FALSE(platform::openFileForAppend(env.root).isOpen());
}

TEST_F(StreamedFile, DiskSpaceOfExistingPathsOnly) {
    std::optional<platform::DiskSpace> space = platform::diskSpace(env.root);
    ASSERT_TRUE(space.has_value());
    EXPECT_GT(space->totalBytes, 0u);
    EXPECT_LE(space->freeBytes, space->totalBytes);
    EXPECT_FALSE(platform::diskSpace(env.root + "/not-there").has_value());
    EXPECT_FALSE(platform::diskSpace("").has_value());
}

TEST(LoadableLibrary, LoadsByNameAndFindsSymbols) {
    void* unrar = platform::loadLibrary(platform::unrarLibraryName());
    ASSERT_NE(unrar, nullptr);
    EXPECT_NE(platform::librarySymbol(unrar, "RARGetDllVersion"), nullptr);
    EXPECT_EQ(platform::librarySymbol(unrar, "NoSuchFunction"), nullptr);
    EXPECT_EQ(platform::loadLibrary("libdoes-not-exist.so.9"), nullptr);
    EXPECT_EQ(platform::librarySymbol(nullptr, "RARGetDllVersion"), nullptr);
}

}  // namespace
