// The data files (".ssd") pqpack writes for a screen saver or movie, and its checks of the
// ones an author hands it. The header's layout: system/data_file_header.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system/data_file_header.h"

namespace pqpack {

// The levels an author may ask for, and the highest the installer can find installed.
constexpr int32_t kLowestQuickTimeLevel = 0;
constexpr int32_t kHighestQuickTimeLevel = 10;
constexpr int32_t kHighestInstalledQuickTimeLevel = kQuickTimeLevel_3;

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
