// pq_implode then pq_explode on arbitrary bytes: the first byte picks the literal mode, the
// dictionary size and the level, the next four seed the read sizes, the rest is the input.
// With bits 4 and 5 of the first byte set, the input is repeated past 32 KB so the encoder's
// window slides and its indexes move; with only bit 5 set, past the first cut of the
// threaded encoder, whose stream on three threads must then be the one-pass stream (each a
// quarter of the runs: those take the most time). The expansion must succeed and give back
// the input exactly.
#include <cstring>
#include <memory>

#include "compression/implode_encoder.h"
#include "compression/implode_parallel.h"
#include "fuzz_check.h"
#include "support/implode_streams.h"

using pq::fuzz::check;
using pqtest::SteppingStreams;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const uint8_t options = data[0];
  uint32_t seed;
  std::memcpy(&seed, data + 1, 4);
  data += 5;
  size -= 5;
  std::vector<uint8_t> repeated;
  const bool threaded = (options & 0x30) == 0x20;
  if ((options & 0x20) != 0 && size > 0) {
    constexpr size_t kPastOneChunk = 40000;
    constexpr size_t kPastOnePiece = pq::kImplodeParallelPieceSize + 1;
    while (repeated.size() < (threaded ? kPastOnePiece : kPastOneChunk)) {
      repeated.insert(repeated.end(), data, data + size);
    }
    data = repeated.data();
    size = repeated.size();
  }

  uint32_t literalMode = options & 1;
  uint32_t dictionarySize = 1024u << ((options >> 1) % 3);
  const pq::ImplodeLevel level = (options & 8) ? pq::ImplodeLevel::Best : pq::ImplodeLevel::Fast;

  // The encoder's first read comes in a piece too, or whole a quarter of the time.
  SteppingStreams implodeStreams(data, size, (seed & 3) == 3 ? 0 : 1 + seed % 300, UINT32_MAX, seed);
  auto implodeWorkArea = std::make_unique<char[]>(PQ_IMPLODE_WORK_SIZE);
  check(pq::implodeWithLevel(SteppingStreams::read, SteppingStreams::write, implodeWorkArea.get(), &implodeStreams,
                             &literalMode, &dictionarySize, level) == PQ_CMP_NO_ERROR);
  const std::vector<uint8_t>& stream = implodeStreams.output;
  check(stream.size() > 4);
  if (threaded) {
    std::vector<uint8_t> threadedStream;
    check(pq::implodeBuffer(data, size, {literalMode, dictionarySize, level, 3}, &threadedStream) == PQ_CMP_NO_ERROR);
    check(threadedStream == stream);
  }

  SteppingStreams explodeStreams(stream.data(), stream.size(), 0, UINT32_MAX, seed ^ 0x9E3779B9u);
  auto explodeWorkArea = std::make_unique<char[]>(PQ_EXPLODE_WORK_SIZE);
  check(pq_explode(SteppingStreams::read, SteppingStreams::write, explodeWorkArea.get(), &explodeStreams) ==
        PQ_CMP_NO_ERROR);
  check(explodeStreams.output.size() == size);
  check(size == 0 || std::memcmp(explodeStreams.output.data(), data, size) == 0);
  return 0;
}
