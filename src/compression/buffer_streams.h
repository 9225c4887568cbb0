// Callbacks that feed the codec from a span and collect its output in a vector, for the
// memory API.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "compression/implode.h"

namespace pq {

// What both callbacks reach through their one parameter.
struct BufferStreams {
  const uint8_t* input;
  size_t remaining;
  std::vector<uint8_t>* output;
};

inline uint32_t PQ_CDECL readFromSpan(char* buffer, uint32_t* size, void* param) {
  auto* streams = static_cast<BufferStreams*>(param);
  const uint32_t count = static_cast<uint32_t>(std::min<size_t>(*size, streams->remaining));
  if (count > 0) std::memcpy(buffer, streams->input, count);
  streams->input += count;
  streams->remaining -= count;
  return count;
}

inline void PQ_CDECL appendToVector(char* buffer, uint32_t* size, void* param) {
  auto* streams = static_cast<BufferStreams*>(param);
  streams->output->insert(streams->output->end(), buffer, buffer + *size);
}

} // namespace pq
