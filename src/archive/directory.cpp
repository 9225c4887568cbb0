#include "archive/directory.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "compression/byte_order.h"

std::string entryName(const TInstallFileInfo& entry) {
  return std::string(entry.nameChars, entry.nameLength);
}

void setEntryName(TInstallFileInfo& entry, const std::string& name) {
  const size_t length = std::min<size_t>(name.size(), kEntryNameCapacity);
  std::memset(entry.nameChars, 0, sizeof entry.nameChars);
  std::memcpy(entry.nameChars, name.data(), length);
  entry.nameLength = static_cast<uint8_t>(length);
}

int32_t storedSize(const TInstallFileInfo& entry) {
  // Taken modulo 2^32, as a 32-bit subtraction on the target gives it, rather than overflowing
  // undefinedly for a range wider than int32.
  return static_cast<int32_t>(static_cast<uint32_t>(entry.stopOffset) - static_cast<uint32_t>(entry.startOffset) + 1u);
}

namespace {

// The record's integers are signed 32-bit values stored little-endian.
int32_t readInt32(const uint8_t* bytes) { return static_cast<int32_t>(pq::loadLittleEndian32(bytes)); }
void writeInt32(uint8_t* bytes, int32_t value) { pq::storeLittleEndian32(bytes, static_cast<uint32_t>(value)); }

} // namespace

void decodeEntry(const uint8_t* bytes, TInstallFileInfo* entry) {
  entry->nameLength = bytes[offsetof(TInstallFileInfo, nameLength)];
  std::memcpy(entry->nameChars, bytes + offsetof(TInstallFileInfo, nameChars), kEntryNameCapacity);
  entry->startOffset = readInt32(bytes + offsetof(TInstallFileInfo, startOffset));
  entry->stopOffset = readInt32(bytes + offsetof(TInstallFileInfo, stopOffset));
  entry->fileType = readInt32(bytes + offsetof(TInstallFileInfo, fileType));
  entry->isZipped = bytes[offsetof(TInstallFileInfo, isZipped)];
  std::memcpy(entry->padding, bytes + offsetof(TInstallFileInfo, padding), sizeof entry->padding);
  entry->zippedSize = readInt32(bytes + offsetof(TInstallFileInfo, zippedSize));
  entry->unzippedSize = readInt32(bytes + offsetof(TInstallFileInfo, unzippedSize));
}

void encodeEntry(const TInstallFileInfo& entry, uint8_t* bytes) {
  bytes[offsetof(TInstallFileInfo, nameLength)] = entry.nameLength;
  std::memcpy(bytes + offsetof(TInstallFileInfo, nameChars), entry.nameChars, kEntryNameCapacity);
  writeInt32(bytes + offsetof(TInstallFileInfo, startOffset), entry.startOffset);
  writeInt32(bytes + offsetof(TInstallFileInfo, stopOffset), entry.stopOffset);
  writeInt32(bytes + offsetof(TInstallFileInfo, fileType), entry.fileType);
  bytes[offsetof(TInstallFileInfo, isZipped)] = entry.isZipped;
  std::memcpy(bytes + offsetof(TInstallFileInfo, padding), entry.padding, sizeof entry.padding);
  writeInt32(bytes + offsetof(TInstallFileInfo, zippedSize), entry.zippedSize);
  writeInt32(bytes + offsetof(TInstallFileInfo, unzippedSize), entry.unzippedSize);
}

void decodeDirectoryTable(const uint8_t* bytes, TInstallFileInfo entries[kDirectoryEntryCount]) {
  for (int index = 0; index < kDirectoryEntryCount; ++index) {
    decodeEntry(bytes + index * sizeof(TInstallFileInfo), &entries[index]);
  }
}

void encodeDirectoryTable(const TInstallFileInfo entries[kDirectoryEntryCount], uint8_t* bytes) {
  for (int index = 0; index < kDirectoryEntryCount; ++index) {
    encodeEntry(entries[index], bytes + index * sizeof(TInstallFileInfo));
  }
}
