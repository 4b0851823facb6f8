#include "attributes.h"

#include <gtest/gtest.h>

// Every combination of the five bits the search looks at, with and without
// the bits it must ignore.
TEST(IsPlainFolder, OnlyTheDirectoryBitAmongTheFiveCounts) {
    for (uint32_t bits = 0; bits < 64; ++bits) {
        const uint32_t five = bits & attr::kConsidered;
        if (five != bits) continue;  // bit 8 is not one of the five
        const bool expected = five == attr::kDirectory;
        for (uint32_t other : {0u, 0x80u, 0x100u, 0x400u, 0x800u, 0x2000u, 0x12000u}) {
            EXPECT_EQ(attr::IsPlainFolder(five | other), expected)
                << "attributes 0x" << std::hex << (five | other);
        }
    }
}

TEST(IsListedPlainFile, TakesReadOnlyAndArchiveFilesButNoFoldersHiddenOrSystem) {
    EXPECT_TRUE(attr::IsListedPlainFile(0x80));   // normal
    EXPECT_TRUE(attr::IsListedPlainFile(0x21));   // archive, read-only
    EXPECT_FALSE(attr::IsListedPlainFile(0x10));  // folder
    EXPECT_FALSE(attr::IsListedPlainFile(0x22));  // hidden
    EXPECT_FALSE(attr::IsListedPlainFile(0x24));  // system
}

TEST(IsRemovablePicture, TakesOnlyWhatTheInstallCanHaveWritten) {
    EXPECT_TRUE(attr::IsRemovablePicture(0x20));
    EXPECT_TRUE(attr::IsRemovablePicture(0x80));
    EXPECT_FALSE(attr::IsRemovablePicture(0x21));
    EXPECT_FALSE(attr::IsRemovablePicture(0x22));
    EXPECT_FALSE(attr::IsRemovablePicture(0x24));
    EXPECT_FALSE(attr::IsRemovablePicture(0x10));
}
