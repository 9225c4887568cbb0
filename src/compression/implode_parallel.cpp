// The input comes in batches of whole pieces. Within a batch each thread takes the next piece
// from a shared counter, encodes it into a buffer of its own, and marks it done. Whichever
// thread finds the next piece in order done joins it (and every done piece after it) onto
// the output and frees its buffer; the joined bytes go to the write callback before the next
// batch is read. So the memory held is one batch of input, about one piece's stream per
// thread and the batch's joined stream, whatever the input's size.
#include "compression/implode_parallel.h"

#include <algorithm>
#include <atomic>
#include <cstring>
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

uint32_t PQ_CDECL nothingToRead(char*, uint32_t*, void*) { return 0; }

class ParallelImplode {
public:
  ParallelImplode(PqReadFn read, PqWriteFn write, void* param, const ImplodeOptions& options, unsigned threads)
      : read_(read), write_(write), param_(param), options_(options), threads_(threads),
        batchPieces_(std::min(kImplodeMostBatchPieces, kImplodeBatchPiecesPerThread * threads)),
        batchCapacity_(batchPieces_ * kImplodeParallelPieceSize), buffer_(kHistory + batchCapacity_),
        pieces_(batchPieces_), joiner_(&output_) {}

  uint32_t run() {
    for (;;) {
      bool ended = false;
      const size_t size = fill(&ended);
      // An empty input has no piece to carry its header and end code.
      if (position_ == 0 && size == 0) return encodeNothing();
      encodeBatch(size, ended);
      deliver();
      if (ended) break;
      // The last bytes read become the history of the next batch's first piece.
      std::memmove(buffer_.data(), buffer_.data() + size, kHistory);
      position_ += size;
    }
    joiner_.finish();
    deliver();
    return PQ_CMP_NO_ERROR;
  }

private:
  // The bytes before a piece that its encoding is given: more than the 4096 a copy reaches.
  static constexpr size_t kHistory = kImplodePieceAlignment;

  uint8_t* batch() { return buffer_.data() + kHistory; }

  // Reads the next batch behind the history. `ended` tells whether the input ends with it:
  // a full batch is followed by a read of one byte, which is kept for the next batch.
  size_t fill(bool* ended) {
    size_t size = 0;
    if (probeHeld_) {
      batch()[size++] = probe_;
      probeHeld_ = false;
    }
    while (size < batchCapacity_) {
      uint32_t request = static_cast<uint32_t>(std::min<size_t>(batchCapacity_ - size, kLargestRequest));
      const uint32_t wanted = request;
      const uint32_t got = read_(reinterpret_cast<char*>(batch() + size), &request, param_);
      if (got == 0) {
        *ended = true;
        return size;
      }
      size += std::min(got, wanted);
    }
    uint32_t one = 1;
    probeHeld_ = read_(reinterpret_cast<char*>(&probe_), &one, param_) != 0;
    *ended = !probeHeld_;
    return size;
  }

  uint32_t encodeNothing() {
    auto workArea = std::make_unique<char[]>(PQ_IMPLODE_WORK_SIZE);
    uint32_t literalMode = options_.literalMode;
    uint32_t dictionarySize = options_.dictionarySize;
    return implodeWithLevel(nothingToRead, write_, workArea.get(), param_, &literalMode, &dictionarySize,
                            options_.level);
  }

  void encodeBatch(size_t size, bool last) {
    batchSize_ = size;
    lastBatch_ = last;
    pieceCount_ = (size + kImplodeParallelPieceSize - 1) / kImplodeParallelPieceSize;
    for (size_t index = 0; index < pieceCount_; ++index) pieces_[index].done = false;
    nextPiece_ = 0;
    joined_ = 0;
    // One task per worker, each taking pieces until none are left: a worker's work area
    // serves all of its pieces.
    const unsigned workers = static_cast<unsigned>(std::min<size_t>(threads_, pieceCount_));
    runInParallel(workers, workers, [this](size_t) { work(); });
    // A worker stops only on an exception of its own (out of memory): the caller gets it as
    // if the work had run on the caller's thread.
    if (failure_) std::rethrow_exception(failure_);
  }

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
    const size_t length = std::min(kImplodeParallelPieceSize, batchSize_ - start);
    BufferStreams streams{batch() + start, length, &piece.bytes};
    ImplodePiece description;
    description.historySize = static_cast<uint32_t>(std::min<uint64_t>(position_ + start, kHistory));
    description.history = batch() + start - description.historySize;
    description.first = position_ + start == 0;
    description.last = lastBatch_ && index + 1 == pieceCount_;
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

  // Hands the whole bytes joined so far to the write callback.
  void deliver() {
    for (size_t offset = 0; offset < output_.size();) {
      uint32_t size = static_cast<uint32_t>(std::min<size_t>(output_.size() - offset, kLargestRequest));
      write_(reinterpret_cast<char*>(output_.data() + offset), &size, param_);
      offset += size;
    }
    output_.clear();
  }

  // The callbacks count in 32 bits; a batch is far smaller, but a request never exceeds this.
  static constexpr size_t kLargestRequest = size_t{1} << 30;

  const PqReadFn read_;
  const PqWriteFn write_;
  void* const param_;
  const ImplodeOptions options_;
  const unsigned threads_;
  const size_t batchPieces_;
  const size_t batchCapacity_;
  std::vector<uint8_t> buffer_;  // [history: kHistory][batch: batchCapacity_]
  uint64_t position_ = 0;        // input bytes before the batch
  uint8_t probe_ = 0;
  bool probeHeld_ = false;
  size_t batchSize_ = 0;
  bool lastBatch_ = false;
  size_t pieceCount_ = 0;
  std::vector<PieceStream> pieces_;
  std::atomic<size_t> nextPiece_{0};
  std::atomic<bool> failed_{false};
  std::exception_ptr failure_;
  // Who may touch the joiner and joined_.
  std::atomic<bool> joining_{false};
  size_t joined_ = 0;
  std::vector<uint8_t> output_;
  BitJoiner joiner_;
};

} // namespace

uint32_t implodeInParallel(PqReadFn read, PqWriteFn write, void* param, const ImplodeOptions& options,
                           unsigned threads) {
  return ParallelImplode(read, write, param, options, threads).run();
}

} // namespace pq
