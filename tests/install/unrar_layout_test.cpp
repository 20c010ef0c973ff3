// The run-time declarations must match the library's own header byte for byte
// (on Windows with its 16-bit wchar_t and __stdcall).
#include HOBNAR_UNRAR_HEADER

#include <gtest/gtest.h>

#include <cstddef>

#include "install/unrar_api.h"

namespace {

#define EXPECT_SAME_FIELD(ours, theirs, field) \
    EXPECT_EQ(offsetof(ours, field), offsetof(theirs, field)) << #field

TEST(UnrarDeclarations, MatchTheLibraryHeader) {
    EXPECT_EQ(sizeof(unrar::HeaderDataEx), sizeof(RARHeaderDataEx));
    EXPECT_SAME_FIELD(unrar::HeaderDataEx, RARHeaderDataEx, FileNameW);
    EXPECT_SAME_FIELD(unrar::HeaderDataEx, RARHeaderDataEx, Flags);
    EXPECT_SAME_FIELD(unrar::HeaderDataEx, RARHeaderDataEx, RedirType);
    EXPECT_SAME_FIELD(unrar::HeaderDataEx, RARHeaderDataEx, RedirName);
    EXPECT_SAME_FIELD(unrar::HeaderDataEx, RARHeaderDataEx, RedirNameSize);
    EXPECT_SAME_FIELD(unrar::HeaderDataEx, RARHeaderDataEx, Reserved);

    EXPECT_EQ(sizeof(unrar::OpenArchiveDataEx), sizeof(RAROpenArchiveDataEx));
    EXPECT_SAME_FIELD(unrar::OpenArchiveDataEx, RAROpenArchiveDataEx, ArcName);
    EXPECT_SAME_FIELD(unrar::OpenArchiveDataEx, RAROpenArchiveDataEx, OpenMode);
    EXPECT_SAME_FIELD(unrar::OpenArchiveDataEx, RAROpenArchiveDataEx, OpenResult);
    EXPECT_SAME_FIELD(unrar::OpenArchiveDataEx, RAROpenArchiveDataEx, Callback);
    EXPECT_SAME_FIELD(unrar::OpenArchiveDataEx, RAROpenArchiveDataEx, OpFlags);

    EXPECT_EQ(unrar::kOpenForExtract, static_cast<unsigned>(RAR_OM_EXTRACT));
    EXPECT_EQ(unrar::kExtract, RAR_EXTRACT);
    EXPECT_EQ(unrar::kEndArchive, ERAR_END_ARCHIVE);
    EXPECT_EQ(unrar::kCreateError, ERAR_ECREATE);
    EXPECT_EQ(unrar::kWriteError, ERAR_EWRITE);
    EXPECT_EQ(unrar::kMissingPassword, ERAR_MISSING_PASSWORD);
    EXPECT_EQ(unrar::kBadPassword, ERAR_BAD_PASSWORD);
    EXPECT_EQ(unrar::kEntryEncrypted, static_cast<unsigned>(RHDF_ENCRYPTED));
    EXPECT_EQ(unrar::kSuccess, ERAR_SUCCESS);
}

}  // namespace
