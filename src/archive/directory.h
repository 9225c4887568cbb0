// The installer file and its directory table: the one definition shared by the program,
// the builder and the tests.
//
//   offset 0                      +--------------------------------------------+
//                                 | the installer program (pqsetup.exe),        |
//                                 | zero-padded to DIRECTORY_OFFSET bytes       |
//   DIRECTORY_OFFSET (478,208)    +--------------------------------------------+
//                                 | directory table: 6 x TInstallFileInfo       |
//                                 | (280 bytes each, entries 0..5, 1,680 bytes) |
//   DIRECTORY_OFFSET + 1,680      +--------------------------------------------+
//                                 | entry 1 stored bytes  (impborl.dat, stored) |
//                                 | entry 2 stored bytes  (main file)           |
//                                 | entry 3 stored bytes  (data file)           |
//                                 | entry 4 stored bytes  (library)             |
//                                 | entry 5 stored bytes  (library)             |
//   end of file = entry 5's last  +--------------------------------------------+
//
// There is no marker, count, version or checksum: the program finds the table only because
// it knows its own length. Entry 0 describes the program itself and is never read.
// Integers are little-endian signed 32-bit, so an installer stays below 2 GiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// DIRECTORY_OFFSET, the byte offset of the directory table: the length of the installer
// program, 478,208 (0x74C00). It is set once, as PQ_DIRECTORY_OFFSET in the top CMakeLists.txt,
// which writes it into the build's archive/directory_offset.h and hands it to the Windows build
// (which refuses a longer program) and the Wine tests. The builder pads the program to it.
#include "archive/directory_offset.h"

constexpr int kDirectoryEntryCount = 6;
constexpr int kFirstExtractedEntry = 1;
constexpr int kLastExtractedEntry = 5;
constexpr int kEntryNameCapacity = 255;

// Entry kinds (fileType); where each lands: entry_rules.h.
constexpr int32_t kFileType_Plain = 1;   // never produced
constexpr int32_t kFileType_Main = 2;    // the saver or movie; also entry 0
constexpr int32_t kFileType_Library = 3; // installed as name.dll into the Windows directory
constexpr int32_t kFileType_Data = 4;    // the data file

#pragma pack(push, 1)
struct TInstallFileInfo {
  uint8_t nameLength;                      // 0..255
  char nameChars[kEntryNameCapacity];      // only the first nameLength count
  int32_t startOffset;                     // absolute offset of the first stored byte
  int32_t stopOffset;                      // absolute offset of the last stored byte (inclusive)
  int32_t fileType;                        // kFileType_*
  uint8_t isZipped;                        // non-zero: the stored bytes are one implode stream
  uint8_t padding[3];
  int32_t zippedSize;                      // compressed byte count, 0 for a stored entry
  int32_t unzippedSize;                    // size of the file once extracted
};
#pragma pack(pop)

static_assert(sizeof(TInstallFileInfo) == 280, "directory entry is 280 bytes on disk");
static_assert(offsetof(TInstallFileInfo, startOffset) == 256);
static_assert(offsetof(TInstallFileInfo, stopOffset) == 260);
static_assert(offsetof(TInstallFileInfo, fileType) == 264);
static_assert(offsetof(TInstallFileInfo, isZipped) == 268);
static_assert(offsetof(TInstallFileInfo, zippedSize) == 272);
static_assert(offsetof(TInstallFileInfo, unzippedSize) == 276);

constexpr int32_t kDirectoryTableSize = kDirectoryEntryCount * static_cast<int32_t>(sizeof(TInstallFileInfo));
static_assert(kDirectoryTableSize == 1680);
// Where entry 1's bytes begin in an installer as produced.
constexpr int32_t kFirstEntryOffset = DIRECTORY_OFFSET + kDirectoryTableSize;

// The table as read, followed in memory by the two mode bytes that start-up derives.
#pragma pack(push, 1)
struct TInstallerDirectory {
  TInstallFileInfo entries[kDirectoryEntryCount];
  uint8_t isScreenSaver;  // 1 when entry 2 ends in ".scr"
  uint8_t completionKind; // kCompletion_* of entry_rules.h
};
#pragma pack(pop)
static_assert(offsetof(TInstallerDirectory, isScreenSaver) == 1680);
static_assert(offsetof(TInstallerDirectory, completionKind) == 1681);

// The entry's name as an ordinary string: the length byte and that many characters.
std::string entryName(const TInstallFileInfo& entry);
// Stores `name` (at most 255 characters are kept) and zeroes the rest of the field.
void setEntryName(TInstallFileInfo& entry, const std::string& name);

// The stored byte count, stopOffset - startOffset + 1, as the signed 32-bit value the
// installer computes (zero or negative for an empty or inverted range).
int32_t storedSize(const TInstallFileInfo& entry);

// Little-endian (de)serialisation of one record, independent of the host's byte order.
void decodeEntry(const uint8_t* bytes280, TInstallFileInfo* entry);
void encodeEntry(const TInstallFileInfo& entry, uint8_t* bytes280);

// The whole table, entry i at bytes 280 * i: the installer's start-up, the builder and the
// inspector all read and write it through these two.
void decodeDirectoryTable(const uint8_t* bytes1680, TInstallFileInfo entries[kDirectoryEntryCount]);
void encodeDirectoryTable(const TInstallFileInfo entries[kDirectoryEntryCount], uint8_t* bytes1680);
