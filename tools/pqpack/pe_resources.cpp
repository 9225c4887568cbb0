// The walk from the resource directory to the resource leaves (the PE headers: pe_image.h):
//
//   resource directory: three levels (type, name, language) of 16-byte headers with 8-byte
//   entries; a set top bit marks a name string (first field) or a subdirectory (second field);
//   a leaf is a 16-byte record holding the data's RVA and size.
//
// Directory offsets count from the start of the resource directory; leaf data is addressed by
// RVA. Every RVA is mapped through the section table to bytes that exist in the file.
#include "pe_resources.h"

#include "byte_view.h"
#include "pe_image.h"

namespace pqpack {

namespace {

constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kDirectoryEntrySize = 8;
constexpr uint32_t kLeafSize = 16;
constexpr uint32_t kHighBit = 0x80000000u;

// Directories may share subdirectories, so a small hostile file could describe billions of
// leaves; real programs have a few dozen. The walk gives up well before that matters.
constexpr uint32_t kMaximumEntriesVisited = 65536;

class ResourceWalk {
public:
  ResourceWalk(const ByteView& file, const PeHeaders& headers, uint32_t directoryRva)
      : file(file), headers(headers), directoryRva(directoryRva) {}

  bool fileOffset(uint64_t rva, uint64_t count, uint64_t* offset) const {
    return peFileOffset(file, headers, rva, count, offset);
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
  const PeHeaders& headers;
  uint32_t directoryRva;
  uint32_t visited = 0;
};

} // namespace

bool readPeResources(const std::vector<uint8_t>& image, std::vector<PeResource>* resources, std::string* problem) {
  resources->clear();
  const ByteView file(image);
  PeHeaders headers;
  if (!readPeHeaders(file, &headers, problem)) return false;
  const PeDataDirectory resourceDirectory = headers.directory(kPeDirectory_Resource);
  if (resourceDirectory.address == 0 || resourceDirectory.size == 0) return true;

  ResourceWalk walk(file, headers, resourceDirectory.address);
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
