// The walk from the DOS header to the resource leaves:
//
//   "MZ" ... e_lfanew (0x3C) -> "PE\0\0", file header (20 bytes), optional header
//   optional header: magic 0x10B (PE32) or 0x20B (PE32+); data directory 2 = resources (RVA, size)
//   section table: where each RVA range lies in the file
//   resource directory: three levels (type, name, language) of 16-byte headers with 8-byte
//   entries; a set top bit marks a name string (first field) or a subdirectory (second field);
//   a leaf is a 16-byte record holding the data's RVA and size.
//
// Directory offsets count from the start of the resource directory; leaf data is addressed by
// RVA. Every RVA is mapped through the section table to bytes that exist in the file.
#include "pe_resources.h"

#include "byte_view.h"

namespace pqpack {

namespace {

constexpr uint16_t kDosMagic = 0x5A4D;          // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;   // "PE\0\0"
constexpr uint32_t kDosNewHeaderField = 0x3C;   // e_lfanew
constexpr uint32_t kFileHeaderSize = 20;
constexpr uint16_t kOptionalMagicPe32 = 0x10B;
constexpr uint16_t kOptionalMagicPe32Plus = 0x20B;
constexpr uint32_t kResourceDataDirectory = 2;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kDirectoryEntrySize = 8;
constexpr uint32_t kLeafSize = 16;
constexpr uint32_t kHighBit = 0x80000000u;

// Directories may share subdirectories, so a small hostile file could describe billions of
// leaves; real programs have a few dozen. The walk gives up well before that matters.
constexpr uint32_t kMaximumEntriesVisited = 65536;

struct Section {
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

class ResourceWalk {
public:
  ResourceWalk(const ByteView& file, std::vector<Section> sections, uint32_t directoryRva)
      : file(file), sections(std::move(sections)), directoryRva(directoryRva) {}

  // Maps `count` bytes at `rva` to their place in the file; false when any of them is not there.
  bool fileOffset(uint64_t rva, uint64_t count, uint64_t* offset) const {
    for (const Section& section : sections) {
      if (rva < section.virtualAddress) continue;
      const uint64_t into = rva - section.virtualAddress;
      if (into > section.rawSize || count > section.rawSize - into) continue;
      const uint64_t place = section.rawOffset + into;
      if (!file.contains(place, count)) return false;
      *offset = place;
      return true;
    }
    return false;
  }

  // The header and entries of the directory at `offset` from the resource directory's start.
  bool directory(uint32_t offset, uint64_t* entriesAt, uint32_t* entryCount, std::string* problem) const {
    uint64_t at = 0;
    uint16_t named = 0;
    uint16_t numbered = 0;
    if (!fileOffset(uint64_t{directoryRva} + offset, kDirectoryHeaderSize, &at) || !file.u16(at + 12, &named) ||
        !file.u16(at + 14, &numbered)) {
      *problem = "a resource directory lies outside the file";
      return false;
    }
    const uint32_t count = uint32_t{named} + numbered;
    if (!fileOffset(uint64_t{directoryRva} + offset + kDirectoryHeaderSize, uint64_t{count} * kDirectoryEntrySize,
                    entriesAt)) {
      *problem = "a resource directory's entries run past the end of its section";
      return false;
    }
    *entryCount = count;
    return true;
  }

  // Walks one level; `path` holds the type and name numbers of the levels above.
  bool walk(uint32_t offset, int level, uint32_t path[2], std::vector<PeResource>* resources, std::string* problem) {
    uint64_t entriesAt = 0;
    uint32_t entryCount = 0;
    if (!directory(offset, &entriesAt, &entryCount, problem)) return false;
    for (uint32_t index = 0; index < entryCount; ++index) {
      if (++visited > kMaximumEntriesVisited) {
        *problem = "the resource directory has more entries than any program";
        return false;
      }
      uint32_t name = 0;
      uint32_t target = 0;
      file.u32(entriesAt + uint64_t{index} * kDirectoryEntrySize, &name);
      file.u32(entriesAt + uint64_t{index} * kDirectoryEntrySize + 4, &target);
      if ((name & kHighBit) != 0) continue; // a named type, resource or language

      const bool isSubdirectory = (target & kHighBit) != 0;
      if (level < 2) {
        if (!isSubdirectory) {
          *problem = "a resource directory entry holds data where a subdirectory belongs";
          return false;
        }
        path[level] = name;
        if (!walk(target & ~kHighBit, level + 1, path, resources, problem)) return false;
        continue;
      }
      if (isSubdirectory) {
        *problem = "the resource directory is deeper than type, name and language";
        return false;
      }
      PeResource resource;
      resource.type = path[0];
      resource.id = path[1];
      resource.language = name;
      if (!leaf(target, &resource.data, problem)) return false;
      resources->push_back(std::move(resource));
    }
    return true;
  }

private:
  bool leaf(uint32_t offset, std::vector<uint8_t>* data, std::string* problem) const {
    uint64_t at = 0;
    uint32_t dataRva = 0;
    uint32_t dataSize = 0;
    if (!fileOffset(uint64_t{directoryRva} + offset, kLeafSize, &at) || !file.u32(at, &dataRva) ||
        !file.u32(at + 4, &dataSize)) {
      *problem = "a resource's record lies outside the file";
      return false;
    }
    uint64_t dataAt = 0;
    if (!fileOffset(dataRva, dataSize, &dataAt)) {
      *problem = "a resource's data lies outside the file";
      return false;
    }
    data->assign(file.data() + dataAt, file.data() + dataAt + dataSize);
    return true;
  }

  const ByteView& file;
  std::vector<Section> sections;
  uint32_t directoryRva;
  uint32_t visited = 0;
};

// Where the headers put the resource directory, and the section table that maps it.
bool readHeaders(const ByteView& file, std::vector<Section>* sections, uint32_t* resourceRva, uint32_t* resourceSize,
                 std::string* problem) {
  uint16_t dosMagic = 0;
  uint32_t peOffset = 0;
  uint32_t signature = 0;
  if (!file.u16(0, &dosMagic) || dosMagic != kDosMagic || !file.u32(kDosNewHeaderField, &peOffset) ||
      !file.u32(peOffset, &signature) || signature != kPeSignature) {
    *problem = "not a Windows program (no PE header)";
    return false;
  }
  const uint64_t fileHeader = uint64_t{peOffset} + 4;
  const uint64_t optionalHeader = fileHeader + kFileHeaderSize;
  uint16_t sectionCount = 0;
  uint16_t optionalSize = 0;
  uint16_t optionalMagic = 0;
  if (!file.u16(fileHeader + 2, &sectionCount) || !file.u16(fileHeader + 16, &optionalSize) ||
      !file.u16(optionalHeader, &optionalMagic)) {
    *problem = "the PE header is cut short";
    return false;
  }

  // The data directories follow the fixed fields, whose length depends on the format.
  uint64_t directoryCountField = 0;
  if (optionalMagic == kOptionalMagicPe32) {
    directoryCountField = optionalHeader + 92;
  } else if (optionalMagic == kOptionalMagicPe32Plus) {
    directoryCountField = optionalHeader + 108;
  } else {
    *problem = "the PE optional header has an unknown format";
    return false;
  }
  uint32_t directoryCount = 0;
  if (!file.u32(directoryCountField, &directoryCount) || directoryCountField + 4 > optionalHeader + optionalSize) {
    *problem = "the PE optional header is cut short";
    return false;
  }
  *resourceRva = 0;
  *resourceSize = 0;
  if (directoryCount > kResourceDataDirectory) {
    const uint64_t entry = directoryCountField + 4 + kResourceDataDirectory * 8;
    if (entry + 8 > optionalHeader + optionalSize || !file.u32(entry, resourceRva) ||
        !file.u32(entry + 4, resourceSize)) {
      *problem = "the PE optional header is cut short";
      return false;
    }
  }

  const uint64_t sectionTable = optionalHeader + optionalSize;
  if (!file.contains(sectionTable, uint64_t{sectionCount} * kSectionHeaderSize)) {
    *problem = "the section table runs past the end of the file";
    return false;
  }
  for (uint16_t index = 0; index < sectionCount; ++index) {
    const uint64_t header = sectionTable + uint64_t{index} * kSectionHeaderSize;
    Section section;
    file.u32(header + 12, &section.virtualAddress);
    file.u32(header + 16, &section.rawSize);
    file.u32(header + 20, &section.rawOffset);
    sections->push_back(section);
  }
  return true;
}

} // namespace

bool readPeResources(const std::vector<uint8_t>& image, std::vector<PeResource>* resources, std::string* problem) {
  resources->clear();
  const ByteView file(image);
  std::vector<Section> sections;
  uint32_t resourceRva = 0;
  uint32_t resourceSize = 0;
  if (!readHeaders(file, &sections, &resourceRva, &resourceSize, problem)) return false;
  if (resourceRva == 0 || resourceSize == 0) return true;

  ResourceWalk walk(file, std::move(sections), resourceRva);
  uint32_t path[2] = {0, 0};
  if (!walk.walk(0, 0, path, resources, problem)) {
    resources->clear();
    return false;
  }
  return true;
}

const PeResource* findResource(const std::vector<PeResource>& resources, uint32_t type, uint32_t id) {
  for (const PeResource& resource : resources) {
    if (resource.type == type && resource.id == id) return &resource;
  }
  return nullptr;
}

} // namespace pqpack
