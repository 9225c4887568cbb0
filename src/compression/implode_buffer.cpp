// The memory-to-memory API: a span in, a vector out, over the same callback codec, so the
// builder, the tools and the tests exercise exactly what the library exports.
#include <memory>

#include "compression/buffer_streams.h"
#include "compression/implode.h"
#include "compression/implode_encoder.h"
#include "compression/implode_parallel.h"
#include "compression/worker_threads.h"

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
  const unsigned threads = threadsFor(options.threads);
  if (threads > 1 && size > kImplodeParallelPieceSize) return implodeInParallel(input, size, options, threads, output);
  BufferStreams streams{input, size, output};
  auto workArea = std::make_unique<char[]>(PQ_IMPLODE_WORK_SIZE);
  uint32_t literalMode = options.literalMode;
  uint32_t dictionarySize = options.dictionarySize;
  return implodeWithLevel(readFromSpan, appendToVector, workArea.get(), &streams, &literalMode,
                          &dictionarySize, options.level);
}

} // namespace pq
