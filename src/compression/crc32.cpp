// CRC-32 of IEEE 802.3 (as in ZIP); the tables and the step: crc32_slices.h. The tables are
// built at compile time so the codec holds no mutable state.
#include "compression/crc32_slices.h"
#include "compression/implode.h"

namespace {

constexpr pq::crc32::Tables kCrcTables = pq::crc32::makeTables();

} // namespace

extern "C" uint32_t PQ_CDECL pq_crc32(char* buffer, uint32_t* size, uint32_t* crc) {
  return pq::crc32::update(kCrcTables, *crc, reinterpret_cast<const uint8_t*>(buffer), *size);
}

namespace pq {

uint32_t crc32Update(uint32_t running, const uint8_t* data, size_t size) {
  // Feed in pieces so sizes beyond 32 bits stay correct.
  while (size > 0) {
    uint32_t piece = size > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(size);
    running = pq_crc32(reinterpret_cast<char*>(const_cast<uint8_t*>(data)), &piece, &running);
    data += piece;
    size -= piece;
  }
  return running;
}

uint32_t crc32Of(const uint8_t* data, size_t size) { return ~crc32Update(0xFFFFFFFFu, data, size); }

} // namespace pq
