// One input encoded in pieces side by side, for implodeStream: the stream is the same byte
// for byte as one pass over the whole input writes, on however many threads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "compression/implode.h"
#include "compression/implode_encoder.h"

namespace pq {

// Where the input is cut: every 128 KB from its start, whatever the thread count. The cuts
// change nothing in the stream, so the size only weighs the cost of a piece (emptying the
// match indexes and indexing its 4096 bytes of history again, under a thousandth of the time
// a piece takes at the best level) against how evenly the threads share the work: an input
// of 1 MB still splits eight ways, and the threads finish within one piece of each other.
constexpr size_t kImplodeParallelPieceSize = 4 * size_t{kImplodePieceAlignment};

// The input is read a batch at a time: 16 pieces (2 MB) for each thread, so that the threads
// finish a batch within a piece of each other, and at most 256 pieces (32 MB) whatever the
// thread count. A batch, its pieces' streams and the threads' work areas are all the memory
// the encoder holds, however long the input.
constexpr size_t kImplodeBatchPiecesPerThread = 16;
constexpr size_t kImplodeMostBatchPieces = 256;

// implodeStream's stream on up to `threads` threads: each batch is encoded piece by piece side
// by side, and the pieces' bits are joined in order and delivered before the next batch is
// read. The arguments have been checked.
uint32_t implodeInParallel(PqReadFn read, PqWriteFn write, void* param, const ImplodeOptions& options,
                           unsigned threads);

} // namespace pq
