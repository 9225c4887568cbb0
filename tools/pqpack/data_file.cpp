#include "data_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "compression/byte_order.h"
#include "compression/implode.h"

namespace pqpack {

namespace {

int32_t levelOf(const std::vector<uint8_t>& bytes) {
  return static_cast<int32_t>(pq::loadLittleEndian32(&bytes[kDataFileLevelOffset]));
}

} // namespace

std::vector<uint8_t> makeDataFile(int32_t quickTimeLevel, const std::vector<uint8_t>& content) {
  std::vector<uint8_t> file(static_cast<size_t>(kDataFileHeaderSize), 0);
  std::memcpy(&file[kDataFileMagicOffset], kDataFileMagic, sizeof kDataFileMagic);
  pq::storeLittleEndian16(&file[kDataFileVersionOffset], kDataFileVersion);
  pq::storeLittleEndian32(&file[kDataFileLevelOffset], static_cast<uint32_t>(quickTimeLevel));
  pq::storeLittleEndian32(&file[kDataFileHeaderSizeOffset], kDataFileHeaderSize);
  pq::storeLittleEndian64(&file[kDataFileContentLengthOffset], content.size());
  pq::storeLittleEndian32(&file[kDataFileContentCrcOffset], pq::crc32Of(content.data(), content.size()));
  file.insert(file.end(), content.begin(), content.end());
  return file;
}

bool readDataFileHeader(const std::vector<uint8_t>& bytes, DataFileHeader* header) {
  if (bytes.size() < static_cast<size_t>(kDataFileHeaderSize)) return false;
  if (std::memcmp(&bytes[kDataFileMagicOffset], kDataFileMagic, sizeof kDataFileMagic) != 0) return false;
  header->version = pq::loadLittleEndian16(&bytes[kDataFileVersionOffset]);
  header->quickTimeLevel = levelOf(bytes);
  header->headerSize = pq::loadLittleEndian32(&bytes[kDataFileHeaderSizeOffset]);
  header->contentLength = pq::loadLittleEndian64(&bytes[kDataFileContentLengthOffset]);
  header->contentCrc = pq::loadLittleEndian32(&bytes[kDataFileContentCrcOffset]);
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
  const int32_t level = levelOf(bytes);
  const std::string asks = "it asks for QuickTime level " + std::to_string(level);
  const std::string outside =
      ", outside " + std::to_string(kLowestQuickTimeLevel) + " to " + std::to_string(kHighestQuickTimeLevel);
  if (level < kLowestQuickTimeLevel) {
    return asks + outside + "; the installer takes it as no QuickTime needed (level 0)";
  }
  if (level > kHighestInstalledQuickTimeLevel) {
    return asks + (level > kHighestQuickTimeLevel ? outside : "") + "; the installer finds QuickTime up to level " +
           std::to_string(kHighestInstalledQuickTimeLevel) +
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
