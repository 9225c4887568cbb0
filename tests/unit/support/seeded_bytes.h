// The tests' one source of made-up bytes, the same on every run for the same seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pqtest {

// How much of the bytes repeats: of every 64, this many follow a short alphabet and the rest
// are noise. None leaves nothing to shrink; Most compresses well, but differs by seed.
enum class Repetition : unsigned { None = 0, Some = 40, Most = 60 };

template <class Bytes = std::vector<uint8_t>>
Bytes seededBytes(size_t size, uint32_t seed, Repetition repetition = Repetition::Some) {
  Bytes bytes(size, 0);
  uint32_t state = seed * 2654435761u + 1;
  for (size_t index = 0; index < size; ++index) {
    state = state * 1103515245u + 12345u;
    const bool repeated = index % 64 < static_cast<unsigned>(repetition);
    bytes[index] = static_cast<typename Bytes::value_type>(repeated ? 'a' + index % 6 : (state >> 16) & 0xFF);
  }
  return bytes;
}

} // namespace pqtest
