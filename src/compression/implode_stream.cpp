// The stream API: the codec between callbacks, with work areas of its own, and implode on
// several threads.
#include <memory>

#include "compression/implode.h"
#include "compression/implode_encoder.h"
#include "compression/implode_parallel.h"
#include "compression/worker_threads.h"

namespace pq {

uint32_t implodeStream(PqReadFn read, PqWriteFn write, void* param, const ImplodeOptions& options) {
  const uint32_t result = checkImplodeArguments(options.literalMode, options.dictionarySize);
  if (result != PQ_CMP_NO_ERROR) return result;
  const unsigned threads = threadsFor(options.threads);
  if (threads > 1) return implodeInParallel(read, write, param, options, threads);
  // One thread reads straight through the callbacks: the encoder holds only its window.
  auto workArea = std::make_unique<char[]>(PQ_IMPLODE_WORK_SIZE);
  uint32_t literalMode = options.literalMode;
  uint32_t dictionarySize = options.dictionarySize;
  return implodeWithLevel(read, write, workArea.get(), param, &literalMode, &dictionarySize, options.level);
}

uint32_t explodeStream(PqReadFn read, PqWriteFn write, void* param) {
  auto workArea = std::make_unique<char[]>(PQ_EXPLODE_WORK_SIZE);
  return pq_explode(read, write, workArea.get(), param);
}

} // namespace pq
