// The data files (".ssd") pqpack writes for a screen saver or movie, and its checks of the
// ones an author hands it. The header's layout: system/data_file_header.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "byte_streams.h"
#include "findings.h"
#include "system/data_file_header.h"

namespace pqpack {

// The highest QuickTime level the installer can find installed: a data file that asks for
// more fails every installation.
constexpr int32_t kHighestInstalledQuickTimeLevel = kQuickTimeLevel_3;

// Why a data file may not ask for QuickTime `level`, or empty when it may (any level up to 3;
// 0 and below need none).
std::string quickTimeLevelProblem(int32_t level);

struct DataFileHeader {
  uint16_t version = 0;
  int32_t quickTimeLevel = 0;
  uint32_t headerSize = 0;
  uint64_t contentLength = 0;
  uint32_t contentCrc = 0;
};

// The header of a data file whose content is `contentLength` bytes with the CRC-32 `contentCrc`.
std::array<uint8_t, kDataFileHeaderSize> makeDataFileHeader(int32_t quickTimeLevel, uint64_t contentLength,
                                                            uint32_t contentCrc);
// The header followed by the content.
std::vector<uint8_t> makeDataFile(int32_t quickTimeLevel, const std::vector<uint8_t>& content);

// The QuickTime level the installer reads from a data file that starts with `head`: false
// when `head` is shorter than the header, which the installer takes for no level at all.
bool requiredQuickTimeLevel(const std::vector<uint8_t>& head, int32_t* level);
// Decodes the header of a data file of ours; false when `bytes` do not start with one.
bool readDataFileHeader(const std::vector<uint8_t>& bytes, DataFileHeader* header);

// A data file looked at as its bytes pass, however large: its header, its length and the
// CRC-32 of what follows the header, and then what build and verify have to say about it.
// A data file made by another tool has no header of ours; the installer reads only the level
// at offset 8 of its first 64 bytes, and that is all that is checked of it.
class DataFileScan : public ByteSink {
public:
  bool write(const void* data, size_t size, std::string* problem) override;

  // Adds what the installer would make of the file as the data file of entry `entry`, each a
  // sentence starting "it ...": as problems, fewer bytes than the header it reads the QuickTime
  // level from, a data file of ours whose content no longer matches its header, or a level
  // above what the installer can ever find installed; as a warning, a level below 0.
  void check(int entry, Findings* findings) const;

private:
  std::vector<uint8_t> header;  // the first kDataFileHeaderSize bytes
  uint64_t length = 0;
  uint32_t runningCrc = 0xFFFFFFFFu;  // of the bytes after the header
};

// Parses a QuickTime level argument: a decimal signed 32-bit integer and nothing else.
bool parseQuickTimeLevel(const std::string& text, int32_t* level);

} // namespace pqpack
