// Little-endian loads and stores of whole words at any alignment, whatever the host's byte
// order: the codec's streams and the bytes it packs into words are little-endian.
#pragma once

#include <cstdint>
#include <cstring>

namespace pq {

inline uint64_t loadLittleEndian64(const uint8_t* bytes) {
  uint64_t value;
  std::memcpy(&value, bytes, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  value = __builtin_bswap64(value);
#endif
  return value;
}

inline void storeLittleEndian64(uint8_t* bytes, uint64_t value) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  value = __builtin_bswap64(value);
#endif
  std::memcpy(bytes, &value, sizeof value);
}

} // namespace pq
