#include "data_file.h"

#include <algorithm>
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

bool requiredQuickTimeLevel(const std::vector<uint8_t>& head, int32_t* level) {
  if (head.size() < static_cast<size_t>(kDataFileHeaderSize)) return false;
  *level = levelOf(head);
  return true;
}

std::array<uint8_t, kDataFileHeaderSize> makeDataFileHeader(int32_t quickTimeLevel, uint64_t contentLength,
                                                            uint32_t contentCrc) {
  std::array<uint8_t, kDataFileHeaderSize> header{};
  std::memcpy(&header[kDataFileMagicOffset], kDataFileMagic, sizeof kDataFileMagic);
  pq::storeLittleEndian16(&header[kDataFileVersionOffset], kDataFileVersion);
  pq::storeLittleEndian32(&header[kDataFileLevelOffset], static_cast<uint32_t>(quickTimeLevel));
  pq::storeLittleEndian32(&header[kDataFileHeaderSizeOffset], kDataFileHeaderSize);
  pq::storeLittleEndian64(&header[kDataFileContentLengthOffset], contentLength);
  pq::storeLittleEndian32(&header[kDataFileContentCrcOffset], contentCrc);
  return header;
}

std::vector<uint8_t> makeDataFile(int32_t quickTimeLevel, const std::vector<uint8_t>& content) {
  const auto header =
      makeDataFileHeader(quickTimeLevel, content.size(), pq::crc32Of(content.data(), content.size()));
  std::vector<uint8_t> file(header.size() + content.size());
  std::copy(header.begin(), header.end(), file.begin());
  std::copy(content.begin(), content.end(), file.begin() + header.size());
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

bool DataFileScan::write(const void* data, size_t size, std::string*) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  const size_t toHeader = std::min(size, static_cast<size_t>(kDataFileHeaderSize) - header.size());
  header.insert(header.end(), bytes, bytes + toHeader);
  runningCrc = pq::crc32Update(runningCrc, bytes + toHeader, size - toHeader);
  length += size;
  return true;
}

std::string DataFileScan::problem() const {
  if (length < static_cast<uint64_t>(kDataFileHeaderSize)) {
    return "it has " + std::to_string(length) + " bytes, fewer than the " + std::to_string(kDataFileHeaderSize) +
           "-byte header the installer reads its QuickTime level from (the user would get error 100); make a data "
           "file with pqpack ssd";
  }
  DataFileHeader fields;
  if (!readDataFileHeader(header, &fields) || fields.version != kDataFileVersion ||
      fields.headerSize != static_cast<uint32_t>(kDataFileHeaderSize)) {
    return "";  // not one of ours: only the level at offset 8 is known
  }
  const uint64_t held = length - kDataFileHeaderSize;
  if (fields.contentLength != held) {
    return "its header says the content is " + std::to_string(fields.contentLength) + " bytes, but it holds " +
           std::to_string(held) + ": it was cut short or added to since pqpack ssd wrote it; make it again";
  }
  const uint32_t crc = ~runningCrc;
  if (crc != fields.contentCrc) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%08X, now %08X", fields.contentCrc, crc);
    return std::string("its content no longer matches the CRC-32 in its header (written ") + numbers +
           "): it changed since pqpack ssd wrote it; make it again";
  }
  return "";
}

std::string DataFileScan::warning() const {
  if (header.size() < static_cast<size_t>(kDataFileHeaderSize)) return "";
  const int32_t level = levelOf(header);
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

namespace {

DataFileScan scanOf(const std::vector<uint8_t>& bytes) {
  DataFileScan scan;
  std::string ignored;
  scan.write(bytes.data(), bytes.size(), &ignored);
  return scan;
}

} // namespace

std::string dataFileProblem(const std::vector<uint8_t>& bytes) { return scanOf(bytes).problem(); }

std::string dataFileWarning(const std::vector<uint8_t>& bytes) { return scanOf(bytes).warning(); }

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
