#include "archive/directory.h"

#include <algorithm>
#include <cstring>

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
  // Wraps like the 32-bit arithmetic of the original rather than overflowing undefinedly.
  return static_cast<int32_t>(static_cast<uint32_t>(entry.stopOffset) - static_cast<uint32_t>(entry.startOffset) + 1u);
}

namespace {

int32_t readLe32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void writeLe32(uint8_t* p, int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

} // namespace

void decodeEntry(const uint8_t* bytes, TInstallFileInfo* entry) {
  entry->nameLength = bytes[0];
  std::memcpy(entry->nameChars, bytes + 1, kEntryNameCapacity);
  entry->startOffset = readLe32(bytes + 256);
  entry->stopOffset = readLe32(bytes + 260);
  entry->fileType = readLe32(bytes + 264);
  entry->isZipped = bytes[268];
  std::memcpy(entry->padding, bytes + 269, 3);
  entry->zippedSize = readLe32(bytes + 272);
  entry->unzippedSize = readLe32(bytes + 276);
}

void encodeEntry(const TInstallFileInfo& entry, uint8_t* bytes) {
  bytes[0] = entry.nameLength;
  std::memcpy(bytes + 1, entry.nameChars, kEntryNameCapacity);
  writeLe32(bytes + 256, entry.startOffset);
  writeLe32(bytes + 260, entry.stopOffset);
  writeLe32(bytes + 264, entry.fileType);
  bytes[268] = entry.isZipped;
  std::memcpy(bytes + 269, entry.padding, 3);
  writeLe32(bytes + 272, entry.zippedSize);
  writeLe32(bytes + 276, entry.unzippedSize);
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
