// The data files (".ssd") pqpack writes for a screen saver or movie, and its checks of the
// ones an author hands it. The header's layout: system/data_file_header.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "byte_streams.h"
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
class DataFileScan : public ByteSink {
public:
  bool write(const void* data, size_t size, std::string* problem) override;

  // Why the installer cannot use the file as its data file, or empty: fewer bytes than the
  // header it reads the QuickTime level from, or a data file of ours whose content no longer
  // matches its header.
  std::string problem() const;
  // What the author should hear about a usable data file, or empty: a QuickTime level outside
  // 0 to 10, or one above what the installer can ever find installed.
  std::string warning() const;

private:
  std::vector<uint8_t> header;  // the first kDataFileHeaderSize bytes
  uint64_t length = 0;
  uint32_t runningCrc = 0xFFFFFFFFu;  // of the bytes after the header
};

// DataFileScan's findings for a data file held in memory.
std::string dataFileProblem(const std::vector<uint8_t>& bytes);
std::string dataFileWarning(const std::vector<uint8_t>& bytes);

// Parses a QuickTime level argument: a decimal signed 32-bit integer and nothing else.
bool parseQuickTimeLevel(const std::string& text, int32_t* level);

} // namespace pqpack
