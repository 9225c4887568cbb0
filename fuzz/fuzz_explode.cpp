// Arbitrary bytes into pq_explode, read in pieces of random sizes, through a work area that
// earlier inputs have used. Checks: the result is 0 to 4; results 1 to 3 write nothing; the
// output comes in blocks of 4096 and one final call of 0 to 4095 bytes; and the output and
// result equal those of whole reads into a fresh, zeroed work area.
#include <cstring>
#include <memory>

#include "fuzz_check.h"
#include "support/implode_streams.h"

using pq::fuzz::check;
using pqtest::SteppingStreams;

namespace {
char reusedWorkArea[PQ_EXPLODE_WORK_SIZE];
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t seed;
  std::memcpy(&seed, data, 4);
  data += 4;
  size -= 4;

  // The first read gets everything it asks for, so result 3 depends on the data alone.
  SteppingStreams pieces(data, size, 0, UINT32_MAX, seed);
  const uint32_t result = pq_explode(SteppingStreams::read, SteppingStreams::write, reusedWorkArea, &pieces);
  check(result <= PQ_CMP_ABORT);
  if (result >= PQ_CMP_INVALID_DICTSIZE && result <= PQ_CMP_BAD_DATA) {
    check(pieces.writeSizes.empty());
    return 0;
  }
  check(!pieces.writeSizes.empty());
  for (size_t i = 0; i + 1 < pieces.writeSizes.size(); ++i) check(pieces.writeSizes[i] == 4096);
  check(pieces.writeSizes.back() < 4096);

  auto freshWorkArea = std::make_unique<char[]>(PQ_EXPLODE_WORK_SIZE);
  std::memset(freshWorkArea.get(), 0, PQ_EXPLODE_WORK_SIZE);
  SteppingStreams wholeReads(data, size, 0, 0, 0);
  const uint32_t wholeResult = pq_explode(SteppingStreams::read, SteppingStreams::write, freshWorkArea.get(), &wholeReads);
  check(wholeResult == result);
  check(wholeReads.output == pieces.output);
  return 0;
}
