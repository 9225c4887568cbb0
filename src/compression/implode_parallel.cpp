// Each thread takes the next piece from a shared counter, encodes it into a buffer of its
// own, and marks it done. Whichever thread finds the next piece in order done joins it (and
// every done piece after it) onto the output and frees its buffer, so the memory held
// beyond the output is about one piece's stream per thread, whatever the input's size.
#include "compression/implode_parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>

#include "compression/buffer_streams.h"
#include "compression/worker_threads.h"

namespace pq {

namespace {

// Lays runs of bits end to end in a byte vector: the first bit of each run follows the last
// bit of the one before, the lowest bit of a byte coming first.
class BitJoiner {
public:
  explicit BitJoiner(std::vector<uint8_t>* output) : output_(output) {}

  void append(const std::vector<uint8_t>& bytes, ImplodeBits tail) {
    if (pending_.count == 0) {
      output_->insert(output_->end(), bytes.begin(), bytes.end());
    } else {
      const size_t base = output_->size();
      output_->resize(base + bytes.size());
      uint8_t* joined = output_->data() + base;
      const unsigned shift = pending_.count;
      uint32_t carry = pending_.value;
      for (size_t i = 0; i < bytes.size(); ++i) {
        joined[i] = static_cast<uint8_t>(carry | (uint32_t{bytes[i]} << shift));
        carry = bytes[i] >> (8 - shift);
      }
      pending_.value = carry;
    }
    pending_.value |= tail.value << pending_.count;
    pending_.count += tail.count;
    if (pending_.count >= 8) {
      output_->push_back(static_cast<uint8_t>(pending_.value));
      pending_.value >>= 8;
      pending_.count -= 8;
    }
  }

  // The last bits go out in a byte of their own, padded with zeros.
  void finish() {
    if (pending_.count > 0) output_->push_back(static_cast<uint8_t>(pending_.value));
    pending_ = {};
  }

private:
  std::vector<uint8_t>* output_;
  ImplodeBits pending_;
};

struct PieceStream {
  std::vector<uint8_t> bytes;
  ImplodeBits tail;
  std::atomic<bool> done{false};
};

class ParallelImplode {
public:
  ParallelImplode(const uint8_t* input, size_t size, const ImplodeOptions& options, std::vector<uint8_t>* output)
      : input_(input), size_(size), options_(options),
        pieceCount_((size + kImplodeParallelPieceSize - 1) / kImplodeParallelPieceSize), pieces_(pieceCount_),
        joiner_(output) {}

  void run(unsigned threads) {
    // One task per worker, each taking pieces until none are left: a worker's work area
    // serves all of its pieces.
    const unsigned workers = static_cast<unsigned>(std::min<size_t>(threads, pieceCount_));
    runInParallel(workers, workers, [this](size_t) { work(); });
    // A worker stops only on an exception of its own (out of memory): the caller gets it as
    // if the work had run on the caller's thread.
    if (failure_) std::rethrow_exception(failure_);
    joiner_.finish();
  }

private:
  void work() {
    try {
      auto workArea = std::make_unique<char[]>(PQ_IMPLODE_WORK_SIZE);
      for (size_t index = nextPiece_++; index < pieceCount_ && !failed_; index = nextPiece_++) {
        encode(index, workArea.get());
        finished(index);
      }
    } catch (...) {
      if (!failed_.exchange(true)) failure_ = std::current_exception();
    }
  }

  void encode(size_t index, char* workArea) {
    PieceStream& piece = pieces_[index];
    const size_t start = index * kImplodeParallelPieceSize;
    const size_t length = std::min(kImplodeParallelPieceSize, size_ - start);
    BufferStreams streams{input_ + start, length, &piece.bytes};
    ImplodePiece description;
    description.historySize = static_cast<uint32_t>(std::min<size_t>(start, kImplodePieceAlignment));
    description.history = input_ + start - description.historySize;
    description.first = index == 0;
    description.last = index + 1 == pieceCount_;
    implodePiece(readFromSpan, appendToVector, workArea, &streams, options_.literalMode, options_.dictionarySize,
                 options_.level, &description);
    piece.tail = description.tail;
  }

  // Marks a piece done and joins what is ready, unless another thread is joining already:
  // that one then finds this piece too, since it looks again after it lets go.
  void finished(size_t index) {
    pieces_[index].done = true;
    for (;;) {
      bool idle = false;
      if (!joining_.compare_exchange_strong(idle, true)) return;
      size_t next = joined_;
      for (; next < pieceCount_ && pieces_[next].done; ++next) {
        joiner_.append(pieces_[next].bytes, pieces_[next].tail);
        std::vector<uint8_t>().swap(pieces_[next].bytes);
      }
      joined_ = next;
      joining_ = false;
      if (next == pieceCount_ || !pieces_[next].done) return;
    }
  }

  const uint8_t* const input_;
  const size_t size_;
  const ImplodeOptions options_;
  const size_t pieceCount_;
  std::vector<PieceStream> pieces_;
  std::atomic<size_t> nextPiece_{0};
  std::atomic<bool> failed_{false};
  std::exception_ptr failure_;
  // Who may touch the joiner and joined_.
  std::atomic<bool> joining_{false};
  size_t joined_ = 0;
  BitJoiner joiner_;
};

} // namespace

uint32_t implodeInParallel(const uint8_t* input, size_t size, const ImplodeOptions& options, unsigned threads,
                           std::vector<uint8_t>* output) {
  const uint32_t result = checkImplodeArguments(options.literalMode, options.dictionarySize);
  if (result != PQ_CMP_NO_ERROR) return result;
  output->clear();
  ParallelImplode(input, size, options, output).run(threads);
  return PQ_CMP_NO_ERROR;
}

} // namespace pq
