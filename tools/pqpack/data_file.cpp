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

std::string quickTimeLevelProblem(int32_t level) {
  if (level <= kHighestInstalledQuickTimeLevel) return "";
  return "QuickTime level " + std::to_string(level) + ", above " + std::to_string(kHighestInstalledQuickTimeLevel) +
         ", the highest level the installer can find installed (QuickTime.qts): every installation would fail for "
         "want of QuickTime";
}

void DataFileScan::check(int entry, Findings* findings) const {
  if (length < static_cast<uint64_t>(kDataFileHeaderSize)) {
    addProblem(findings, FindingCode::DataFile, entry,
               "it has " + std::to_string(length) + " bytes, fewer than the " +
                   std::to_string(kDataFileHeaderSize) +
                   "-byte header the installer reads its QuickTime level from (the user would get error "
                   "100); make a data file with pqpack ssd");
    return;
  }
  const int32_t level = levelOf(header);
  const std::string levelProblem = quickTimeLevelProblem(level);
  if (!levelProblem.empty()) {
    addProblem(findings, FindingCode::DataFileLevel, entry, "it asks for " + levelProblem);
  } else if (level < kQuickTimeLevel_None) {
    addWarning(findings, FindingCode::DataFileLevel, entry,
               "it asks for QuickTime level " + std::to_string(level) +
                   ", below 0; the installer takes it as no QuickTime needed (level 0)");
  }
  DataFileHeader fields;
  if (!readDataFileHeader(header, &fields) || fields.version != kDataFileVersion ||
      fields.headerSize != static_cast<uint32_t>(kDataFileHeaderSize)) {
    return;  // not one of ours: only the level at offset 8 is known
  }
  const uint64_t held = length - kDataFileHeaderSize;
  if (fields.contentLength != held) {
    addProblem(findings, FindingCode::DataFile, entry,
               "its header says the content is " + std::to_string(fields.contentLength) +
                   " bytes, but it holds " + std::to_string(held) +
                   ": it was cut short or added to since pqpack ssd wrote it; make it again");
    return;
  }
  const uint32_t crc = ~runningCrc;
  if (crc != fields.contentCrc) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%08X, now %08X", fields.contentCrc, crc);
    addProblem(findings, FindingCode::DataFile, entry,
               std::string("its content no longer matches the CRC-32 in its header (written ") + numbers +
                   "): it changed since pqpack ssd wrote it; make it again");
  }
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
