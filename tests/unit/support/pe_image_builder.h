// Crafted Windows images for the pqpack tests: a minimal PE file with one section, resource
// directories and VS_VERSIONINFO blocks, built byte by byte as a linker and a resource
// compiler lay them out, so every field a test breaks is one it names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pqtest {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes* bytes, size_t offset, uint32_t value) {
  if (bytes->size() < offset + 2) bytes->resize(offset + 2, 0);
  (*bytes)[offset] = static_cast<uint8_t>(value);
  (*bytes)[offset + 1] = static_cast<uint8_t>(value >> 8);
}
inline void put32(Bytes* bytes, size_t offset, uint32_t value) {
  put16(bytes, offset, value & 0xFFFF);
  put16(bytes, offset + 2, value >> 16);
}
inline void pad4(Bytes* bytes) {
  while (bytes->size() % 4 != 0) bytes->push_back(0);
}

struct Resource {
  uint32_t type;
  uint32_t id;
  uint32_t language;
  Bytes data;
};

// Where things are in the image `peImage` builds (the directory entry and the section table
// as in a PE32 image).
constexpr uint32_t kPeHeaderOffset = 0x40;
constexpr uint32_t kOptionalHeaderOffset = kPeHeaderOffset + 4 + 20;
constexpr uint32_t kResourceDirectoryEntryOffset = kOptionalHeaderOffset + 96 + 2 * 8;
constexpr uint32_t kSectionTableOffset = kOptionalHeaderOffset + 224;
constexpr uint32_t kSectionFileOffset = 0x200;
constexpr uint32_t kSectionRva = 0x1000;

// The data directories `peImage` may point at its section.
constexpr uint32_t kExportDirectory = 0;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kNoDirectory = 16;  // past the sixteen the image has

// The header fields the tests vary; the defaults make a 32-bit Windows GUI program.
struct PeHeader {
  uint16_t machine = 0x14C;  // i386
  bool pe32Plus = false;     // the 64-bit optional header
  bool dll = false;
  uint16_t subsystem = 2;    // Windows GUI
  bool largeAddressAware = true;
};

// A resource section at RVA kSectionRva: the root directory, then per resource its name and
// language directories and its leaf, then the data. Each resource has a path of its own.
inline Bytes resourceSection(const std::vector<Resource>& resources) {
  const uint32_t count = static_cast<uint32_t>(resources.size());
  const uint32_t rootSize = 16 + 8 * count;
  const uint32_t perResource = 24 + 24 + 16; // name directory, language directory, leaf
  uint32_t dataOffset = rootSize + perResource * count;
  Bytes section;
  put16(&section, 14, count);
  for (uint32_t index = 0; index < count; ++index) {
    const Resource& resource = resources[index];
    const uint32_t nameDirectory = rootSize + perResource * index;
    const uint32_t languageDirectory = nameDirectory + 24;
    const uint32_t leaf = languageDirectory + 24;
    put32(&section, 16 + 8 * index, resource.type);
    put32(&section, 20 + 8 * index, 0x80000000u | nameDirectory);
    put16(&section, nameDirectory + 14, 1);
    put32(&section, nameDirectory + 16, resource.id);
    put32(&section, nameDirectory + 20, 0x80000000u | languageDirectory);
    put16(&section, languageDirectory + 14, 1);
    put32(&section, languageDirectory + 16, resource.language);
    put32(&section, languageDirectory + 20, leaf);
    put32(&section, leaf, kSectionRva + dataOffset);
    put32(&section, leaf + 4, static_cast<uint32_t>(resource.data.size()));
    dataOffset += static_cast<uint32_t>((resource.data.size() + 3) & ~size_t{3});
  }
  section.resize(rootSize + perResource * count, 0);
  for (const Resource& resource : resources) {
    section.insert(section.end(), resource.data.begin(), resource.data.end());
    pad4(&section);
  }
  return section;
}

// A PE image whose one section, at kSectionFileOffset and RVA kSectionRva, holds `section`,
// with data directory `directory` covering it (kNoDirectory: none).
inline Bytes peImage(const Bytes& section, uint32_t directory = kResourceDirectory, const PeHeader& header = {}) {
  const uint32_t optionalSize = header.pe32Plus ? 240 : 224;
  const uint32_t directories = kOptionalHeaderOffset + (header.pe32Plus ? 112 : 96);
  const uint32_t sectionTable = kOptionalHeaderOffset + optionalSize;
  Bytes image(kSectionFileOffset, 0);
  image[0] = 'M';
  image[1] = 'Z';
  put32(&image, 0x3C, kPeHeaderOffset);
  image[kPeHeaderOffset] = 'P';
  image[kPeHeaderOffset + 1] = 'E';
  put16(&image, kPeHeaderOffset + 4, header.machine);
  put16(&image, kPeHeaderOffset + 6, 1);  // one section
  put16(&image, kPeHeaderOffset + 20, optionalSize);
  // Executable and 32-bit machine, and a DLL or large-address-aware when asked.
  put16(&image, kPeHeaderOffset + 22,
        0x0002 | 0x0100 | (header.dll ? 0x2000 : 0) | (header.largeAddressAware ? 0x0020 : 0));
  put16(&image, kOptionalHeaderOffset, header.pe32Plus ? 0x20B : 0x10B);
  put16(&image, kOptionalHeaderOffset + 68, header.subsystem);
  put32(&image, directories - 4, 16);
  if (directory != kNoDirectory) {
    put32(&image, directories + 8 * directory, kSectionRva);
    put32(&image, directories + 8 * directory + 4, static_cast<uint32_t>(section.size()));
  }
  put32(&image, sectionTable + 8, static_cast<uint32_t>(section.size()));
  put32(&image, sectionTable + 12, kSectionRva);
  put32(&image, sectionTable + 16, static_cast<uint32_t>(section.size()));
  put32(&image, sectionTable + 20, kSectionFileOffset);
  image.insert(image.end(), section.begin(), section.end());
  return image;
}

inline void appendUtf16(Bytes* bytes, const std::string& text) {
  for (char c : text) {
    bytes->push_back(static_cast<uint8_t>(c));
    bytes->push_back(0);
  }
  bytes->push_back(0);
  bytes->push_back(0);
}

// One version-information block: header, key, value and children, each part 4-byte aligned.
inline Bytes versionBlock(const std::string& key, const Bytes& value, uint16_t valueLength, uint16_t type,
                          const std::vector<Bytes>& children = {}) {
  Bytes block(6, 0);
  appendUtf16(&block, key);
  pad4(&block);
  block.insert(block.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    pad4(&block);
    block.insert(block.end(), child.begin(), child.end());
  }
  put16(&block, 0, static_cast<uint32_t>(block.size()));
  put16(&block, 2, valueLength);
  put16(&block, 4, type);
  return block;
}

inline Bytes textValueBlock(const std::string& key, const std::string& text) {
  Bytes value;
  appendUtf16(&value, text);
  return versionBlock(key, value, static_cast<uint16_t>(text.size() + 1), 1);
}

inline Bytes fixedFileInfo(uint16_t major, uint16_t minor, uint16_t patch, uint16_t build) {
  Bytes info(52, 0);
  put32(&info, 0, 0xFEEF04BD);
  put32(&info, 4, 0x00010000);
  put32(&info, 8, static_cast<uint32_t>(major) << 16 | minor);
  put32(&info, 12, static_cast<uint32_t>(patch) << 16 | build);
  return info;
}

// VS_VERSION_INFO with the given fixed version and string tables (language key, strings).
inline Bytes versionInfo(const Bytes& fixedInfo, const std::vector<std::pair<std::string, std::vector<Bytes>>>& tables) {
  std::vector<Bytes> tableBlocks;
  for (const auto& table : tables) tableBlocks.push_back(versionBlock(table.first, {}, 0, 1, table.second));
  const Bytes stringFileInfo = versionBlock("StringFileInfo", {}, 0, 1, tableBlocks);
  Bytes translation;
  put32(&translation, 0, 0x04B00409);
  const Bytes varFileInfo = versionBlock("VarFileInfo", {}, 0, 1, {versionBlock("Translation", translation, 4, 0)});
  return versionBlock("VS_VERSION_INFO", fixedInfo, static_cast<uint16_t>(fixedInfo.size()), 0,
                      {stringFileInfo, varFileInfo});
}

} // namespace pqtest
