// One input encoded in pieces side by side, for implodeBuffer: the stream is the same byte
// for byte as one pass over the whole input writes, on however many threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "compression/implode.h"
#include "compression/implode_encoder.h"

namespace pq {

// Where the input is cut: every 128 KB from its start, whatever the thread count. The cuts
// change nothing in the stream, so the size only weighs the cost of a piece (emptying the
// match indexes and indexing its 4096 bytes of history again, under a thousandth of the time
// a piece takes at the best level) against how evenly the threads share the work: an input
// of 1 MB still splits eight ways, and the threads finish within one piece of each other.
constexpr size_t kImplodeParallelPieceSize = 4 * size_t{kImplodePieceAlignment};

// implodeBuffer's stream for the whole input, found on up to `threads` threads.
uint32_t implodeInParallel(const uint8_t* input, size_t size, const ImplodeOptions& options, unsigned threads,
                           std::vector<uint8_t>* output);

} // namespace pq
