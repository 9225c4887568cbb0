// The data file (".ssd") that pqpack writes for a screen saver or movie. The installer reads
// only the QuickTime level at offset 8; the rest of the header is ours, so that a data file
// can be recognised and checked without the program that uses it.
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
#include <string>
#include <vector>

#include "system/quicktime.h"  // kDataFileHeaderSize, kDataFileLevelOffset: what the installer reads

namespace pqpack {

constexpr char kDataFileMagic[6] = {'P', 'Q', 'S', 'S', 'D', '\0'};
constexpr uint16_t kDataFileVersion = 1;

// The levels an author may ask for, and the highest the installer can find installed
// (QuickTime.qts in the System directory).
constexpr int32_t kLowestQuickTimeLevel = 0;
constexpr int32_t kHighestQuickTimeLevel = 10;
constexpr int32_t kHighestInstalledQuickTimeLevel = 3;

struct DataFileHeader {
  uint16_t version = 0;
  int32_t quickTimeLevel = 0;
  uint32_t headerSize = 0;
  uint64_t contentLength = 0;
  uint32_t contentCrc = 0;
};

// The header followed by the content.
std::vector<uint8_t> makeDataFile(int32_t quickTimeLevel, const std::vector<uint8_t>& content);

// Decodes the header of a data file of ours; false when `bytes` do not start with one.
bool readDataFileHeader(const std::vector<uint8_t>& bytes, DataFileHeader* header);

// Why the installer cannot use `bytes` as its data file, or empty: fewer bytes than the header
// it reads the QuickTime level from, or a data file of ours whose content no longer matches
// its header.
std::string dataFileProblem(const std::vector<uint8_t>& bytes);
// What the author should hear about a usable data file, or empty: a QuickTime level outside 0
// to 10, or one above what the installer can ever find installed.
std::string dataFileWarning(const std::vector<uint8_t>& bytes);

// Parses a QuickTime level argument: a decimal signed 32-bit integer and nothing else.
bool parseQuickTimeLevel(const std::string& text, int32_t* level);

} // namespace pqpack
