// CRC-32 of IEEE 802.3 (as in ZIP): reflected polynomial 0xEDB88320. The tables are built at
// compile time so the library holds no mutable state.
#include <array>

#include "compression/implode.h"

namespace {

// Table 0 is the classic one-byte table; table k gives the contribution of a byte followed by
// k zero bytes, so eight bytes fold in with eight independent lookups instead of eight in a
// chain. Expanding an entry runs every output byte through here, and the chained form cost
// as much as the decoding itself.
constexpr int kSlices = 8;

constexpr std::array<std::array<uint32_t, 256>, kSlices> makeCrcTables() {
  std::array<std::array<uint32_t, 256>, kSlices> tables{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables[0][n] = c;
  }
  for (int k = 1; k < kSlices; ++k) {
    for (uint32_t n = 0; n < 256; ++n) tables[k][n] = tables[0][tables[k - 1][n] & 0xFF] ^ (tables[k - 1][n] >> 8);
  }
  return tables;
}

constexpr std::array<std::array<uint32_t, 256>, kSlices> kCrcTables = makeCrcTables();

uint32_t loadLittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

} // namespace

extern "C" uint32_t PQ_CDECL pq_crc32(char* buffer, uint32_t* size, uint32_t* crc) {
  uint32_t value = *crc;
  const auto* bytes = reinterpret_cast<const uint8_t*>(buffer);
  uint32_t remaining = *size;
  // Eight bytes at a time, taken little-endian whatever the host's byte order.
  for (; remaining >= 8; remaining -= 8, bytes += 8) {
    value ^= loadLittleEndian32(bytes);
    const uint32_t high = loadLittleEndian32(bytes + 4);
    value = kCrcTables[7][value & 0xFF] ^ kCrcTables[6][(value >> 8) & 0xFF] ^
            kCrcTables[5][(value >> 16) & 0xFF] ^ kCrcTables[4][value >> 24] ^ kCrcTables[3][high & 0xFF] ^
            kCrcTables[2][(high >> 8) & 0xFF] ^ kCrcTables[1][(high >> 16) & 0xFF] ^ kCrcTables[0][high >> 24];
  }
  for (; remaining > 0; --remaining, ++bytes) value = kCrcTables[0][(value ^ *bytes) & 0xFF] ^ (value >> 8);
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
