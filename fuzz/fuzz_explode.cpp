// Arbitrary bytes into pq_explode, read in pieces of random sizes, through a work area that
// earlier inputs have used. Checks: the result is 0 to 4; results 1 to 3 write nothing; the
// output comes in blocks of 4096 and one final call of 0 to 4095 bytes; and the output and
// result equal those of whole reads into a fresh, zeroed work area.
#include <memory>

#include "fuzz_reader.h"

namespace {
char reusedWorkArea[PQ_EXPLODE_WORK_SIZE];
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t seed;
  std::memcpy(&seed, data, 4);
  data += 4;
  size -= 4;

  pq::fuzz::PiecewiseStreams pieces{data, size, seed};
  const uint32_t result = pq_explode(pq::fuzz::PiecewiseStreams::read, pq::fuzz::PiecewiseStreams::write,
                                     reusedWorkArea, &pieces);
  pq::fuzz::check(result <= PQ_CMP_ABORT);
  if (result >= PQ_CMP_INVALID_DICTSIZE && result <= PQ_CMP_BAD_DATA) {
    pq::fuzz::check(pieces.writeSizes.empty());
    return 0;
  }
  pq::fuzz::check(!pieces.writeSizes.empty());
  for (size_t i = 0; i + 1 < pieces.writeSizes.size(); ++i) pq::fuzz::check(pieces.writeSizes[i] == 4096);
  pq::fuzz::check(pieces.writeSizes.back() < 4096);

  auto freshWorkArea = std::make_unique<char[]>(PQ_EXPLODE_WORK_SIZE);
  std::memset(freshWorkArea.get(), 0, PQ_EXPLODE_WORK_SIZE);
  pq::fuzz::PiecewiseStreams wholeReads{data, size, 0};
  wholeReads.wholeReads = true;
  const uint32_t wholeResult = pq_explode(pq::fuzz::PiecewiseStreams::read, pq::fuzz::PiecewiseStreams::write, freshWorkArea.get(), &wholeReads);
  pq::fuzz::check(wholeResult == result);
  pq::fuzz::check(wholeReads.output == pieces.output);
  return 0;
}
