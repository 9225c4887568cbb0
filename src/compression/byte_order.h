// Little-endian loads and stores of whole words at any alignment, whatever the host's byte
// order: the codec's streams and the bytes it packs into words are little-endian.
// So are the installer's directory table, the data file's header and the Windows files
// pqpack reads, and all of them are read and written through here.
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

// The narrower words by shifts, which compilers turn into one load or store where the host
// allows it.
inline uint32_t loadLittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

inline void storeLittleEndian32(uint8_t* bytes, uint32_t value) {
  for (int index = 0; index < 4; ++index) bytes[index] = static_cast<uint8_t>(value >> (8 * index));
}

inline uint16_t loadLittleEndian16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

inline void storeLittleEndian16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

} // namespace pq
