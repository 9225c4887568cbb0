// A VS_VERSIONINFO resource is a tree of blocks, each laid out as
//
//   wLength (whole block, bytes) | wValueLength | wType (1 text, 0 binary) | key, UTF-16, NUL
//   padding to 4 bytes | value | padding to 4 bytes | child blocks, each 4-byte aligned
//
// The root "VS_VERSION_INFO" holds VS_FIXEDFILEINFO as its value; its children are
// "StringFileInfo" (string tables, one per language, of name = text blocks) and "VarFileInfo".
// Alignment counts from the start of the resource, which Windows keeps 4-byte aligned.
#include "version_resource.h"

#include "ansi_text.h"
#include "byte_view.h"

namespace pqpack {

namespace {

constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoSize = 52;
constexpr uint64_t kBlockHeaderSize = 6;

uint64_t alignedTo4(uint64_t offset) { return (offset + 3) & ~uint64_t{3}; }

// UTF-16 text from `offset` up to its NUL or `end`; `after` is the offset past the NUL.
std::string utf16Text(const ByteView& bytes, uint64_t offset, uint64_t end, uint64_t* after) {
  std::string text;
  uint16_t unit = 0;
  while (offset + 2 <= end && bytes.u16(offset, &unit)) {
    offset += 2;
    if (unit == 0) break;
    // Surrogate halves come out one by one: these texts are names, not prose.
    appendUtf8(unit, &text);
  }
  *after = offset;
  return text;
}

struct Block {
  uint64_t end = 0;
  uint16_t valueLength = 0;
  std::string key;
  uint64_t valueAt = 0;
  uint64_t childrenAt = 0;
};

// The block at `start`, which must end by `limit`. `valueIsText` says how wValueLength counts.
bool readBlock(const ByteView& bytes, uint64_t start, uint64_t limit, bool valueIsText, Block* block) {
  uint16_t length = 0;
  uint16_t valueLength = 0;
  if (!bytes.u16(start, &length) || !bytes.u16(start + 2, &valueLength)) return false;
  if (length < kBlockHeaderSize || start + length > limit) return false;
  block->end = start + length;
  block->valueLength = valueLength;
  uint64_t keyEnd = 0;
  block->key = utf16Text(bytes, start + kBlockHeaderSize, block->end, &keyEnd);
  block->valueAt = alignedTo4(keyEnd);
  const uint64_t valueBytes = valueIsText ? uint64_t{valueLength} * 2 : valueLength;
  // Past `end` (an empty value at the block's very end) these simply find nothing.
  block->childrenAt = alignedTo4(block->valueAt + valueBytes);
  return true;
}

// Calls `visit` on each child block of `parent`; false when one of them does not fit.
template <typename Visit>
bool forEachChild(const ByteView& bytes, const Block& parent, bool valueIsText, Visit visit) {
  uint64_t offset = parent.childrenAt;
  while (offset + kBlockHeaderSize <= parent.end) {
    Block child;
    if (!readBlock(bytes, offset, parent.end, valueIsText, &child)) return false;
    if (!visit(child)) return false;
    offset = alignedTo4(child.end);
  }
  return true;
}

bool readFixedInfo(const ByteView& bytes, const Block& root, VersionInfo* info) {
  uint32_t signature = 0;
  uint32_t mostSignificant = 0;
  uint32_t leastSignificant = 0;
  if (root.valueLength < kFixedInfoSize || root.valueAt + kFixedInfoSize > root.end ||
      !bytes.u32(root.valueAt, &signature) || signature != kFixedInfoSignature ||
      !bytes.u32(root.valueAt + 8, &mostSignificant) || !bytes.u32(root.valueAt + 12, &leastSignificant)) {
    return false;
  }
  info->fileVersion[0] = static_cast<uint16_t>(mostSignificant >> 16);
  info->fileVersion[1] = static_cast<uint16_t>(mostSignificant);
  info->fileVersion[2] = static_cast<uint16_t>(leastSignificant >> 16);
  info->fileVersion[3] = static_cast<uint16_t>(leastSignificant);
  return true;
}

} // namespace

std::string VersionInfo::text(const std::string& name) const {
  for (const auto& entry : strings) {
    if (entry.first == name) return entry.second;
  }
  return std::string();
}

bool parseVersionInfo(const std::vector<uint8_t>& data, VersionInfo* info, std::string* problem) {
  *info = VersionInfo();
  const ByteView bytes(data);
  Block root;
  if (!readBlock(bytes, 0, data.size(), false, &root) || root.key != "VS_VERSION_INFO") {
    *problem = "the version information has no VS_VERSION_INFO block";
    return false;
  }
  info->hasFixedInfo = readFixedInfo(bytes, root, info);

  bool haveTable = false;
  const bool fits = forEachChild(bytes, root, false, [&](const Block& group) {
    if (group.key != "StringFileInfo") return true;
    return forEachChild(bytes, group, false, [&](const Block& table) {
      if (haveTable) return true; // the first language is the one shown
      haveTable = true;
      return forEachChild(bytes, table, true, [&](const Block& string) {
        uint64_t after = 0;
        info->strings.emplace_back(string.key, utf16Text(bytes, string.valueAt, string.end, &after));
        return true;
      });
    });
  });
  if (!fits) {
    *problem = "a block of the version information runs past its parent";
    return false;
  }
  return true;
}

} // namespace pqpack
