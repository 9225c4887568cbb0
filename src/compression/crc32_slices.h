// CRC-32 of IEEE 802.3 (as in ZIP): reflected polynomial 0xEDB88320, eight bytes per step.
//
// Table 0 is the classic one-byte table; table k gives the contribution of a byte followed by
// k zero bytes, so eight bytes fold in with eight independent lookups instead of eight in a
// chain. Expanding an entry runs every output byte through here, and the chained form cost
// as much as the decoding itself. The codec builds the tables at compile time and keeps no
// mutable state; impborl.dll, whose file is stored in every installer, builds them when it
// is loaded instead of carrying their 8 KB.
#pragma once

#include <array>
#include <cstdint>

#include "compression/byte_order.h"

namespace pq::crc32 {

constexpr int kSlices = 8;
using Tables = std::array<std::array<uint32_t, 256>, kSlices>;

constexpr void fillTables(Tables& tables) {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables[0][n] = c;
  }
  for (int k = 1; k < kSlices; ++k) {
    for (uint32_t n = 0; n < 256; ++n) tables[k][n] = tables[0][tables[k - 1][n] & 0xFF] ^ (tables[k - 1][n] >> 8);
  }
}

constexpr Tables makeTables() {
  Tables tables{};
  fillTables(tables);
  return tables;
}

// Folds `remaining` bytes into the running (not yet complemented) value.
inline uint32_t update(const Tables& tables, uint32_t value, const uint8_t* bytes, uint32_t remaining) {
  // Eight bytes at a time, taken little-endian whatever the host's byte order.
  for (; remaining >= 8; remaining -= 8, bytes += 8) {
    value ^= pq::loadLittleEndian32(bytes);
    const uint32_t high = pq::loadLittleEndian32(bytes + 4);
    value = tables[7][value & 0xFF] ^ tables[6][(value >> 8) & 0xFF] ^ tables[5][(value >> 16) & 0xFF] ^
            tables[4][value >> 24] ^ tables[3][high & 0xFF] ^ tables[2][(high >> 8) & 0xFF] ^
            tables[1][(high >> 16) & 0xFF] ^ tables[0][high >> 24];
  }
  for (; remaining > 0; --remaining, ++bytes) value = tables[0][(value ^ *bytes) & 0xFF] ^ (value >> 8);
  return value;
}

} // namespace pq::crc32
