// CRC-32 of IEEE 802.3 (as in ZIP): reflected polynomial 0xEDB88320, one table lookup per
// byte. The table is built at compile time so the library holds no mutable state.
#include <array>

#include "compression/implode.h"

namespace {

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

} // namespace

extern "C" uint32_t PQ_CDECL pq_crc32(char* buffer, uint32_t* size, uint32_t* crc) {
  uint32_t value = *crc;
  const auto* bytes = reinterpret_cast<const uint8_t*>(buffer);
  for (uint32_t i = 0; i < *size; ++i) value = kCrcTable[(value ^ bytes[i]) & 0xFF] ^ (value >> 8);
  return value;
}

namespace pq {

uint32_t crc32Of(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  // Feed in pieces so sizes beyond 32 bits stay correct.
  while (size > 0) {
    uint32_t piece = size > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(size);
    crc = pq_crc32(reinterpret_cast<char*>(const_cast<uint8_t*>(data)), &piece, &crc);
    data += piece;
    size -= piece;
  }
  return ~crc;
}

} // namespace pq
