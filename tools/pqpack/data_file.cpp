#include "data_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "compression/implode.h"

namespace pqpack {

namespace {

void putLe(uint8_t* at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t getLe(const uint8_t* at, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
  return value;
}

} // namespace

std::vector<uint8_t> makeDataFile(int32_t quickTimeLevel, const std::vector<uint8_t>& content) {
  std::vector<uint8_t> file(static_cast<size_t>(kDataFileHeaderSize), 0);
  std::memcpy(file.data(), kDataFileMagic, sizeof kDataFileMagic);
  putLe(&file[6], kDataFileVersion, 2);
  putLe(&file[kDataFileLevelOffset], static_cast<uint32_t>(quickTimeLevel), 4);
  putLe(&file[12], kDataFileHeaderSize, 4);
  putLe(&file[16], content.size(), 8);
  putLe(&file[24], pq::crc32Of(content.data(), content.size()), 4);
  file.insert(file.end(), content.begin(), content.end());
  return file;
}

bool readDataFileHeader(const std::vector<uint8_t>& bytes, DataFileHeader* header) {
  if (bytes.size() < static_cast<size_t>(kDataFileHeaderSize)) return false;
  if (std::memcmp(bytes.data(), kDataFileMagic, sizeof kDataFileMagic) != 0) return false;
  header->version = static_cast<uint16_t>(getLe(&bytes[6], 2));
  header->quickTimeLevel = static_cast<int32_t>(static_cast<uint32_t>(getLe(&bytes[kDataFileLevelOffset], 4)));
  header->headerSize = static_cast<uint32_t>(getLe(&bytes[12], 4));
  header->contentLength = getLe(&bytes[16], 8);
  header->contentCrc = static_cast<uint32_t>(getLe(&bytes[24], 4));
  return true;
}

std::string dataFileProblem(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < static_cast<size_t>(kDataFileHeaderSize)) {
    return "it has " + std::to_string(bytes.size()) + " bytes, fewer than the " + std::to_string(kDataFileHeaderSize) +
           "-byte header the installer reads its QuickTime level from (the user would get error 100); make a data "
           "file with pqpack ssd";
  }
  DataFileHeader header;
  if (!readDataFileHeader(bytes, &header) || header.version != kDataFileVersion ||
      header.headerSize != static_cast<uint32_t>(kDataFileHeaderSize)) {
    return "";  // not one of ours: only the level at offset 8 is known
  }
  const uint64_t held = bytes.size() - kDataFileHeaderSize;
  if (header.contentLength != held) {
    return "its header says the content is " + std::to_string(header.contentLength) + " bytes, but it holds " +
           std::to_string(held) + ": it was cut short or added to since pqpack ssd wrote it; make it again";
  }
  const uint32_t crc = pq::crc32Of(bytes.data() + kDataFileHeaderSize, held);
  if (crc != header.contentCrc) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%08X, now %08X", header.contentCrc, crc);
    return std::string("its content no longer matches the CRC-32 in its header (written ") + numbers +
           "): it changed since pqpack ssd wrote it; make it again";
  }
  return "";
}

std::string dataFileWarning(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < static_cast<size_t>(kDataFileHeaderSize)) return "";
  const auto level = static_cast<int32_t>(static_cast<uint32_t>(getLe(&bytes[kDataFileLevelOffset], 4)));
  const std::string asks = "it asks for QuickTime level " + std::to_string(level);
  if (level < kLowestQuickTimeLevel) {
    return asks + ", outside " + std::to_string(kLowestQuickTimeLevel) + " to " +
           std::to_string(kHighestQuickTimeLevel) + "; the installer takes it as no QuickTime needed (level 0)";
  }
  if (level > kHighestInstalledQuickTimeLevel) {
    return asks + (level > kHighestQuickTimeLevel ? ", outside " + std::to_string(kLowestQuickTimeLevel) + " to " +
                                                        std::to_string(kHighestQuickTimeLevel)
                                                  : std::string()) +
           "; the installer finds QuickTime up to level " + std::to_string(kHighestInstalledQuickTimeLevel) +
           " only, so every installation would fail for want of QuickTime";
  }
  return "";
}

bool parseQuickTimeLevel(const std::string& text, int32_t* level) {
  if (text.empty() || text.find_first_not_of("+-0123456789") != std::string::npos) return false;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) return false;
  *level = static_cast<int32_t>(value);
  return true;
}

} // namespace pqpack
