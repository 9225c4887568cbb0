#include <gtest/gtest.h>

#include <cstring>

#include "archive/directory.h"

TEST(Directory, EntryRoundTripsThroughItsOnDiskBytes) {
  TInstallFileInfo entry{};
  setEntryName(entry, "impborl.dat");
  entry.startOffset = DIRECTORY_OFFSET + kDirectoryTableSize;
  entry.stopOffset = entry.startOffset + 12287;
  entry.fileType = kFileType_Library;
  entry.unzippedSize = 12288;

  uint8_t bytes[280];
  encodeEntry(entry, bytes);
  EXPECT_EQ(bytes[0], 11);
  EXPECT_EQ(0, std::memcmp(bytes + 1, "impborl.dat", 11));
  EXPECT_EQ(bytes[256], 0x90); // 479,888 = 0x00075290, little-endian
  EXPECT_EQ(bytes[257], 0x52);
  EXPECT_EQ(bytes[258], 0x07);

  TInstallFileInfo decoded{};
  decodeEntry(bytes, &decoded);
  EXPECT_EQ(entryName(decoded), "impborl.dat");
  EXPECT_EQ(decoded.startOffset, 479888);
  EXPECT_EQ(storedSize(decoded), 12288);
}

TEST(Directory, StoredSizeOfAnInvertedRangeIsZeroOrNegative) {
  TInstallFileInfo entry{};
  entry.startOffset = 100;
  entry.stopOffset = 99;
  EXPECT_EQ(storedSize(entry), 0);
  entry.stopOffset = 50;
  EXPECT_LT(storedSize(entry), 0);
}

TEST(Directory, NameIsOnlyTheCountedCharacters) {
  TInstallFileInfo entry{};
  std::memcpy(entry.nameChars, "Sunset.scrGARBAGE", 17);
  entry.nameLength = 10;
  EXPECT_EQ(entryName(entry), "Sunset.scr");
}
