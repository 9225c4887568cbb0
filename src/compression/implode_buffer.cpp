// The memory-to-memory API: a span in, a vector out, through the stream API over the same
// callback codec, so the builder, the tools and the tests exercise exactly what the library
// exports.
#include "compression/buffer_streams.h"
#include "compression/implode.h"

namespace pq {

uint32_t explodeBuffer(const uint8_t* input, size_t size, std::vector<uint8_t>* output) {
  output->clear();
  BufferStreams streams{input, size, output};
  return explodeStream(readFromSpan, appendToVector, &streams);
}

uint32_t implodeBuffer(const uint8_t* input, size_t size, const ImplodeOptions& options,
                       std::vector<uint8_t>* output) {
  output->clear();
  BufferStreams streams{input, size, output};
  return implodeStream(readFromSpan, appendToVector, &streams, options);
}

} // namespace pq
