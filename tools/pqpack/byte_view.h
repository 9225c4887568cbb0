// Little-endian reads from a byte buffer that fail, rather than read past its end, when a
// field lies partly or wholly outside it. The PE and version-information readers take every
// offset from the file itself, so none of them may be trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "compression/byte_order.h"

namespace pqpack {

class ByteView {
public:
  ByteView(const uint8_t* data, size_t size) : bytes(data), length(size) {}
  explicit ByteView(const std::vector<uint8_t>& data) : bytes(data.data()), length(data.size()) {}

  size_t size() const { return length; }
  const uint8_t* data() const { return bytes; }

  // True when `count` bytes starting at `offset` lie inside the buffer (no overflow).
  bool contains(uint64_t offset, uint64_t count) const { return offset <= length && count <= length - offset; }

  bool u16(uint64_t offset, uint16_t* value) const {
    if (!contains(offset, 2)) return false;
    *value = pq::loadLittleEndian16(bytes + offset);
    return true;
  }
  bool u32(uint64_t offset, uint32_t* value) const {
    if (!contains(offset, 4)) return false;
    *value = pq::loadLittleEndian32(bytes + offset);
    return true;
  }

private:
  const uint8_t* bytes;
  size_t length;
};

} // namespace pqpack
