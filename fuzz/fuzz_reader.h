// Input for the codec's read callback in pieces whose sizes come from a seeded generator,
// and an output that checks the block rule of the write callback as it goes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compression/implode.h"

namespace pq::fuzz {

struct PiecewiseStreams {
  PiecewiseStreams(const uint8_t* data, size_t size, uint32_t pieceSeed)
      : input(data), remaining(size), seed(pieceSeed) {}

  const uint8_t* input;
  size_t remaining;
  uint32_t seed;
  bool firstRead = true;
  // The first read gets everything it asks for, so result 3 depends on the data alone.
  bool wholeFirstRead = true;
  // Every read gets everything it asks for.
  bool wholeReads = false;
  std::vector<uint8_t> output;
  std::vector<uint32_t> writeSizes;

  uint32_t nextPiece(uint32_t requested) {
    seed = seed * 1103515245u + 12345u;
    const uint32_t choice = (seed >> 16) % 4;
    const uint32_t piece = choice == 0 ? 1 : choice == 1 ? 1 + (seed >> 8) % 7 : choice == 2 ? 1 + (seed >> 4) % 300 : requested;
    return piece < requested ? piece : requested;
  }

  static uint32_t PQ_CDECL read(char* buffer, uint32_t* size, void* param) {
    auto* self = static_cast<PiecewiseStreams*>(param);
    const bool whole = self->wholeReads || (self->firstRead && self->wholeFirstRead);
    uint32_t count = whole ? *size : self->nextPiece(*size);
    self->firstRead = false;
    if (count > self->remaining) count = static_cast<uint32_t>(self->remaining);
    if (count > 0) std::memcpy(buffer, self->input, count);
    self->input += count;
    self->remaining -= count;
    return count;
  }

  static void PQ_CDECL write(char* buffer, uint32_t* size, void* param) {
    auto* self = static_cast<PiecewiseStreams*>(param);
    self->writeSizes.push_back(*size);
    self->output.insert(self->output.end(), buffer, buffer + *size);
  }
};

inline void check(bool condition) {
  if (!condition) std::abort();
}

} // namespace pq::fuzz
