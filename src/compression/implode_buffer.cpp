// The memory-to-memory API: a span in, a vector out, over the same callback codec, so the
// builder, the tools and the tests exercise exactly what the library exports.
#include <algorithm>
#include <cstring>
#include <memory>

#include "compression/implode.h"
#include "compression/implode_encoder.h"

namespace {

// What both callbacks reach through their one parameter.
struct BufferStreams {
  const uint8_t* input;
  size_t remaining;
  std::vector<uint8_t>* output;
};

uint32_t PQ_CDECL readFromSpan(char* buffer, uint32_t* size, void* param) {
  auto* streams = static_cast<BufferStreams*>(param);
  const uint32_t count = static_cast<uint32_t>(std::min<size_t>(*size, streams->remaining));
  if (count > 0) std::memcpy(buffer, streams->input, count);
  streams->input += count;
  streams->remaining -= count;
  return count;
}

void PQ_CDECL appendToVector(char* buffer, uint32_t* size, void* param) {
  auto* streams = static_cast<BufferStreams*>(param);
  streams->output->insert(streams->output->end(), buffer, buffer + *size);
}

} // namespace

namespace pq {

uint32_t explodeBuffer(const uint8_t* input, size_t size, std::vector<uint8_t>* output) {
  output->clear();
  BufferStreams streams{input, size, output};
  auto workArea = std::make_unique<char[]>(PQ_EXPLODE_WORK_SIZE);
  return pq_explode(readFromSpan, appendToVector, workArea.get(), &streams);
}

uint32_t implodeBuffer(const uint8_t* input, size_t size, const ImplodeOptions& options,
                       std::vector<uint8_t>* output) {
  output->clear();
  BufferStreams streams{input, size, output};
  auto workArea = std::make_unique<char[]>(PQ_IMPLODE_WORK_SIZE);
  uint32_t literalMode = options.literalMode;
  uint32_t dictionarySize = options.dictionarySize;
  return implodeWithLevel(readFromSpan, appendToVector, workArea.get(), &streams, &literalMode,
                          &dictionarySize, options.level);
}

} // namespace pq
