// The header of a data file (".ssd"): the installer reads only the QuickTime level at offset
// 8; pqpack writes the rest, so that a data file can be recognised and checked without the
// program that uses it.
//
//   offset  size  field
//   0       6     magic "PQSSD\0"
//   6       2     format version, 1 (little-endian, like every integer here)
//   8       4     required QuickTime level, signed; 0 or below: no QuickTime needed
//   12      4     header size, 64
//   16      8     content length in bytes
//   24      4     CRC-32 of the content (IEEE 802.3, as in ZIP)
//   28      36    zero, reserved
//   64      ...   the content
#pragma once

#include <cstdint>

constexpr int kDataFileHeaderSize = 64;

constexpr int kDataFileMagicOffset = 0;
constexpr char kDataFileMagic[6] = {'P', 'Q', 'S', 'S', 'D', '\0'};
constexpr int kDataFileVersionOffset = 6;
constexpr uint16_t kDataFileVersion = 1;
constexpr int kDataFileLevelOffset = 8;
constexpr int kDataFileHeaderSizeOffset = 12;
constexpr int kDataFileContentLengthOffset = 16;
constexpr int kDataFileContentCrcOffset = 24;

// The levels the installer finds installed: QuickTime 3 and later install "QuickTime.qts" in
// the System directory, QuickTime 2 left only "QTim32.dll" there.
constexpr int32_t kQuickTimeLevel_None = 0;
constexpr int32_t kQuickTimeLevel_2 = 2;
constexpr int32_t kQuickTimeLevel_3 = 3;
