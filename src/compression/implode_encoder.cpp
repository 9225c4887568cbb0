// pq_implode: the implode stream encoder behind the library's _implode.
//
// The input is taken in chunks of 32 KB (reads of up to 4096 bytes each, repeated until the
// chunk is full or the read callback reports the end) into a window that keeps the last
// 4096 bytes of the previous chunk before it, so copies can reach across chunks. Matches are
// found through two indexes of earlier positions: the latest position of every byte pair
// (length-2 copies, which reach only 256 back, want just the nearest one) and hash chains of
// three-byte prefixes for everything longer. The codes are fixed, so the exact bit cost of
// every literal and copy is known in advance, and both levels choose by bit counts:
//
//   - Fast: lazy matching. At each position take the longest nearest match, but first check
//     whether a literal followed by the match at the next position costs fewer bits over
//     the same stretch of input.
//   - Best: an optimal parse. For a block of positions, a shortest-path pass over the bit
//     costs of every literal and of every copy length each match candidate allows; the
//     cheapest path to the end of the block is then written out.
//
// The library's pq_implode has no argument for a level and compresses at Fast;
// implodeWithLevel (implode_encoder.h) lets the memory API and the builder choose.
//
// Neither parse lets a copy run past the end of a chunk, and what the indexes know at a
// chunk's start is exactly its 4096 bytes of history. So a piece of input that starts on a
// chunk boundary can be encoded on its own from those 4096 bytes (implodePiece), and the
// pieces' bits laid end to end are the stream that one pass over the whole input writes.
//
// Every stream ends with the end code. The decoder refuses a stream whose first read brings
// 4 bytes or fewer, and an empty input would give exactly 4 (header and end code), so that
// one stream gets a padding byte after the end code, which decoders ignore.
#include <algorithm>
#include <cstring>
#include <new>

#include "compression/byte_order.h"
#include "compression/implode.h"
#include "compression/implode_encoder.h"
#include "compression/implode_tables.h"

namespace {

using namespace pq::implode;

constexpr uint32_t kReadRequest = 4096;
constexpr uint32_t kWriteBlock = 4096;
// Copies reach at most 4096 bytes back, so that much of the past stays in the window.
constexpr uint32_t kHistorySize = 4096;
constexpr uint32_t kChunkSize = 32768;
// Match comparison loads 8 bytes at a time and may look up to 7 bytes past the data.
constexpr uint32_t kCompareSlack = 8;
constexpr uint32_t kWindowSize = kHistorySize + kChunkSize;
// Chain links are kept for 8192 positions, twice the farthest distance, indexed by the
// position modulo 8192; a chunk is a multiple of that, so sliding keeps the slots in place.
constexpr uint32_t kChainSize = 8192;
constexpr uint32_t kHash3Bits = 15;
constexpr uint32_t kPairCount = 65536;
// The optimal parse works on blocks of this many positions.
constexpr uint32_t kParseBlock = 8192;
// The longest list of match candidates one position can yield: each is longer than the one
// before, and lengths run from 2 to 518.
constexpr uint32_t kMaxCandidates = kMaxMatchLength;

static_assert(kChunkSize % kChainSize == 0, "sliding must keep chain slots in place");
static_assert(kChunkSize == pq::kImplodePieceAlignment, "pieces must start on chunk boundaries");
static_assert(kWindowSize < 65535, "window positions (plus one) must fit the 16-bit indexes");

struct Level {
  uint32_t chainLimit;
  // A match at least this long ends the search (and, in the optimal parse, is taken as it is).
  uint32_t niceLength;
};
constexpr Level kFastLevel = {24, 64};
constexpr Level kBestLevel = {512, 160};

// The parse's path record for each position of a block: how it was reached.
struct PathStep {
  uint16_t length; // 1 for a literal
  uint16_t distance;
};

struct ImplodeState {
  uint8_t window[kWindowSize + kCompareSlack];
  // Indexes hold window position + 1; 0 means none.
  uint16_t pairHead[kPairCount];
  uint16_t chainHead[1u << kHash3Bits];
  uint16_t chainLink[kChainSize];
  uint32_t pathCost[kParseBlock + 1];
  PathStep path[kParseBlock + 1];
  PathStep tokens[kParseBlock];
  uint8_t output[kWriteBlock + 8];
};

constexpr size_t kStateAlignment = alignof(ImplodeState);
static_assert(sizeof(ImplodeState) + kStateAlignment - 1 <= PQ_IMPLODE_WORK_SIZE,
              "PQ_IMPLODE_WORK_SIZE must hold the encoder's state");

// How many bytes at `a` equal those at `b`, up to `limit`. Taken little-endian, the first
// byte that differs holds the lowest bits that differ.
inline uint32_t matchLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t length = 0;
  while (length < limit) {
    const uint64_t difference = pq::loadLittleEndian64(a + length) ^ pq::loadLittleEndian64(b + length);
    if (difference != 0) {
      length += static_cast<uint32_t>(__builtin_ctzll(difference)) / 8;
      return std::min(length, limit);
    }
    length += 8;
  }
  return limit;
}

// Bits of a copy's flag, length code and extra bits, by length.
struct LengthCosts {
  uint8_t bits[kEndLength + 1];
};
constexpr LengthCosts makeLengthCosts() {
  LengthCosts costs{};
  for (uint32_t length = kMinMatchLength; length <= kEndLength; ++length) {
    const int symbol = lengthSymbolOf(length);
    costs.bits[length] = static_cast<uint8_t>(1 + kLengthCode[symbol].length + kLengthExtraBits[symbol]);
  }
  return costs;
}
constexpr LengthCosts kLengthCost = makeLengthCosts();

struct Match {
  uint32_t length;
  uint32_t distance;
};

class Encoder {
public:
  Encoder(ImplodeState& state, PqReadFn read, PqWriteFn write, void* param, bool ascii,
          unsigned dictionaryBits, pq::ImplodeLevel level)
      : state_(state), read_(read), write_(write), param_(param), ascii_(ascii),
        dictionaryBits_(dictionaryBits), dictionarySize_(64u << dictionaryBits),
        level_(level == pq::ImplodeLevel::Best ? kBestLevel : kFastLevel),
        best_(level == pq::ImplodeLevel::Best) {}

  void run() {
    start(true);
    encodeInput();
    putCopyLength(kEndLength);
    flushBits();
    if (streamSize_ + outputSize_ <= 4) state_.output[outputSize_++] = 0;
    if (outputSize_ > 0) deliver(outputSize_);
  }

  // One piece of a stream: the header only on the first, the end code only on the last, and
  // the bits after the last whole byte left to the caller rather than padded out. Apart from
  // run, so that the library, which never encodes pieces, leaves this out.
  void runPiece(const uint8_t* history, uint32_t historySize, pq::ImplodePiece* piece) {
    start(piece->first);
    takeHistory(history, historySize);
    encodeInput();
    if (piece->last) putCopyLength(kEndLength);
    for (; bitCount_ >= 8; bitCount_ -= 8, bits_ >>= 8) state_.output[outputSize_++] = static_cast<uint8_t>(bits_);
    piece->tail = {static_cast<uint32_t>(bits_), bitCount_};
    if (outputSize_ > 0) deliver(outputSize_);
  }

private:
  // Empties the indexes and starts the output, with the header if asked.
  void start(bool header) {
    std::memset(state_.pairHead, 0, sizeof state_.pairHead);
    std::memset(state_.chainHead, 0, sizeof state_.chainHead);
    outputSize_ = 0;
    if (header) {
      state_.output[0] = ascii_ ? PQ_CMP_ASCII : PQ_CMP_BINARY;
      state_.output[1] = static_cast<uint8_t>(dictionaryBits_);
      outputSize_ = 2;
    }
    streamSize_ = 0;
  }

  // Takes `historySize` bytes before the input as history and indexes them as the end of a
  // chunk would have been.
  void takeHistory(const uint8_t* history, uint32_t historySize) {
    const uint32_t historyStart = kHistorySize - historySize;
    if (historySize > 0) std::memcpy(state_.window + historyStart, history, historySize);
    for (uint32_t position = historyStart; position < kHistorySize; ++position) insert(position, kHistorySize);
  }

  // Encodes everything the read callback gives, chunk by chunk.
  void encodeInput() {
    for (;;) {
      const uint32_t size = fillChunk();
      const uint32_t end = kHistorySize + size;
      if (best_) {
        for (uint32_t start = kHistorySize; start < end; start += kParseBlock) {
          encodeBest(start, std::min(end, start + kParseBlock), end);
        }
      } else {
        encodeFast(kHistorySize, end);
      }
      if (size < kChunkSize) break;
      slide();
    }
  }

  // --- input -----------------------------------------------------------------------------

  // Fills the chunk after the history; fewer than kChunkSize bytes means the input ended.
  uint32_t fillChunk() {
    uint32_t size = 0;
    while (size < kChunkSize && !inputEnded_) {
      uint32_t request = std::min(kReadRequest, kChunkSize - size);
      const uint32_t asked = request;
      uint32_t got = read_(reinterpret_cast<char*>(state_.window + kHistorySize + size), &request, param_);
      if (got == 0) inputEnded_ = true;
      size += std::min(got, asked);
    }
    return size;
  }

  // Moves the last 4096 bytes of the chunk down to be the next chunk's history, and every
  // index with it; positions that fall out of reach become "none".
  void slide() {
    std::memmove(state_.window, state_.window + kChunkSize, kHistorySize);
    auto rebase = [](uint16_t* entries, size_t count) {
      for (size_t i = 0; i < count; ++i) entries[i] = entries[i] > kChunkSize ? entries[i] - kChunkSize : 0;
    };
    rebase(state_.pairHead, kPairCount);
    rebase(state_.chainHead, 1u << kHash3Bits);
    rebase(state_.chainLink, kChainSize);
  }

  // --- match finding -----------------------------------------------------------------------

  static uint32_t pairOf(const uint8_t* bytes) { return pq::loadLittleEndian16(bytes); }
  static uint32_t hashOf(const uint8_t* bytes) {
    return ((pq::loadLittleEndian32(bytes) & 0xFFFFFF) * 2654435761u) >> (32 - kHash3Bits);
  }

  // Records `position` in the indexes; `end` is where the window's data stops.
  void insert(uint32_t position, uint32_t end) {
    const uint8_t* bytes = state_.window + position;
    if (position + 2 < end) {
      const uint32_t hash = hashOf(bytes);
      state_.chainLink[position % kChainSize] = state_.chainHead[hash];
      state_.chainHead[hash] = static_cast<uint16_t>(position + 1);
    }
    if (position + 1 < end) state_.pairHead[pairOf(bytes)] = static_cast<uint16_t>(position + 1);
  }

  // The candidates at `position`, nearest first, each longer than the one before: a copy of
  // any length up to a candidate's is best taken from the nearest candidate that long,
  // because a nearer distance never costs more bits. Returns the count.
  uint32_t findMatches(uint32_t position, uint32_t limit, Match* matches) {
    if (limit < kMinMatchLength) return 0;
    const uint8_t* here = state_.window + position;
    uint32_t count = 0;
    uint32_t longest = 1;
    const uint32_t pair = state_.pairHead[pairOf(here)];
    if (pair != 0 && position - (pair - 1) <= kMaxShortCopyDistance) {
      matches[count++] = {2, position - (pair - 1)};
      longest = 2;
    }
    if (limit < 3) return count;
    uint32_t candidate = state_.chainHead[hashOf(here)];
    for (uint32_t steps = level_.chainLimit; candidate != 0 && steps > 0; --steps) {
      const uint32_t from = candidate - 1;
      const uint32_t distance = position - from;
      if (distance > dictionarySize_) break;
      const uint8_t* there = state_.window + from;
      // A candidate can only improve if it matches one byte further than the longest so far.
      if (there[longest] == here[longest]) {
        const uint32_t length = matchLength(here, there, limit);
        if (length > longest && length >= 3) {
          matches[count++] = {length, distance};
          longest = length;
          if (length >= level_.niceLength || length == limit) break;
        }
      }
      candidate = state_.chainLink[from % kChainSize];
    }
    return count;
  }

  // --- costs --------------------------------------------------------------------------------

  uint32_t literalCost(uint8_t byte) const { return ascii_ ? 1 + kLiteralCodeLength[byte] : 9; }

  uint32_t distanceCost(uint32_t length, uint32_t distance) const {
    const unsigned low = length == 2 ? kShortCopyLowBits : dictionaryBits_;
    return kDistanceCodeLength[(distance - 1) >> low] + low;
  }

  uint32_t copyCost(uint32_t length, uint32_t distance) const {
    return kLengthCost.bits[length] + distanceCost(length, distance);
  }

  uint32_t literalsCost(uint32_t position, uint32_t count) const {
    uint32_t bits = 0;
    for (uint32_t i = 0; i < count; ++i) bits += literalCost(state_.window[position + i]);
    return bits;
  }

  // The cheaper of a copy and plain literals for `length` bytes at `position`.
  uint32_t stretchCost(uint32_t position, uint32_t length, uint32_t distance) const {
    const uint32_t literals = literalsCost(position, length);
    if (length < 2 || (length == 2 && distance > kMaxShortCopyDistance)) return literals;
    return std::min(literals, copyCost(length, distance));
  }

  // --- the two parsers -------------------------------------------------------------------------

  // Lazy matching over [start, end).
  void encodeFast(uint32_t start, uint32_t end) {
    indexedUntil_ = start;
    uint32_t position = start;
    Match match = longestMatchAt(position, end);
    while (position < end) {
      if (match.length < 2 || copyCost(match.length, match.distance) >= literalsCost(position, match.length)) {
        putLiteral(state_.window[position]);
        ++position;
        match = longestMatchAt(position, end);
        continue;
      }
      // Looking two positions ahead as well was tried: slower, and no smaller on the corpus.
      if (match.length < level_.niceLength && position + 1 < end) {
        const Match later = longestMatchAt(position + 1, end);
        if (laterMatchIsCheaper(position, match, later)) {
          putLiteral(state_.window[position]);
          ++position;
          match = later;
          continue;
        }
      }
      putCopy(match.length, match.distance);
      position += match.length;
      match = longestMatchAt(position, end);
    }
    indexUpTo(end, end);
  }

  // Indexes every position before `position` not yet indexed.
  void indexUpTo(uint32_t position, uint32_t end) {
    for (; indexedUntil_ < position; ++indexedUntil_) insert(indexedUntil_, end);
  }

  Match longestMatchAt(uint32_t position, uint32_t end) {
    if (position >= end) return {0, 0};
    indexUpTo(position, end);
    Match matches[kMaxCandidates];
    const uint32_t count = findMatches(position, std::min(kMaxMatchLength, end - position), matches);
    return count > 0 ? matches[count - 1] : Match{0, 0};
  }

  // Compares "copy `now` at `position`" with "a literal, then `later` at position + 1" over
  // the stretch both cover; the shorter one is finished with the tail of the longer match.
  bool laterMatchIsCheaper(uint32_t position, Match now, Match later) const {
    if (later.length < 2 || (later.length == 2 && later.distance > kMaxShortCopyDistance)) return false;
    const uint32_t nowEnd = position + now.length;
    const uint32_t laterEnd = position + 1 + later.length;
    uint32_t nowCost = copyCost(now.length, now.distance);
    uint32_t laterCost = literalCost(state_.window[position]) + copyCost(later.length, later.distance);
    if (laterEnd > nowEnd) {
      nowCost += stretchCost(nowEnd, laterEnd - nowEnd, later.distance);
    } else {
      laterCost += stretchCost(laterEnd, nowEnd - laterEnd, now.distance);
    }
    return laterCost < nowCost;
  }

  // Optimal parse of the block [start, end); copies may look at data up to `dataEnd` but
  // stop at the block's end, so every path ends exactly there.
  void encodeBest(uint32_t start, uint32_t end, uint32_t dataEnd) {
    Match matches[kMaxCandidates];
    const uint32_t blockSize = end - start;
    uint32_t* cost = state_.pathCost;
    PathStep* path = state_.path;
    cost[0] = 0;
    std::fill(cost + 1, cost + blockSize + 1, UINT32_MAX);
    uint32_t skipUntil = start;

    for (uint32_t position = start; position < end; ++position) {
      if (position < skipUntil) {
        insert(position, dataEnd);
        continue;
      }
      const uint32_t offset = position - start;
      const uint32_t here = cost[offset];
      const uint32_t withLiteral = here + literalCost(state_.window[position]);
      relax(offset + 1, withLiteral, {1, 0});
      const uint32_t limit = std::min(kMaxMatchLength, end - position);
      const uint32_t count = findMatches(position, limit, matches);
      insert(position, dataEnd);
      // Each candidate prices the lengths beyond the previous one's, from its own distance.
      uint32_t length = kMinMatchLength;
      for (uint32_t i = 0; i < count; ++i) {
        const Match match = matches[i];
        if (match.length == 2) {
          relax(offset + 2, here + copyCost(2, match.distance), match);
          length = 3;
          continue;
        }
        const uint32_t distanceBits = here + distanceCost(3, match.distance);
        for (length = std::max(length, 3u); length <= match.length; ++length) {
          relax(offset + length, distanceBits + kLengthCost.bits[length], {length, match.distance});
        }
      }
      if (count > 0 && matches[count - 1].length >= level_.niceLength) skipUntil = position + matches[count - 1].length;
    }

    // Walk the cheapest path back from the block's end, then write it forwards.
    uint32_t tokenCount = 0;
    for (uint32_t offset = blockSize; offset > 0; offset -= path[offset].length) state_.tokens[tokenCount++] = path[offset];
    uint32_t position = start;
    while (tokenCount > 0) {
      const PathStep step = state_.tokens[--tokenCount];
      if (step.length == 1) {
        putLiteral(state_.window[position]);
      } else {
        putCopy(step.length, step.distance);
      }
      position += step.length;
    }
  }

  void relax(uint32_t offset, uint32_t cost, Match step) {
    if (cost < state_.pathCost[offset]) {
      state_.pathCost[offset] = cost;
      state_.path[offset] = {static_cast<uint16_t>(step.length), static_cast<uint16_t>(step.distance)};
    }
  }

  // --- output ---------------------------------------------------------------------------------

  void putBits(uint32_t value, unsigned count) {
    bits_ |= static_cast<uint64_t>(value) << bitCount_;
    bitCount_ += count;
    if (bitCount_ >= 32) {
      pq::storeLittleEndian32(state_.output + outputSize_, static_cast<uint32_t>(bits_));
      outputSize_ += 4;
      bits_ >>= 32;
      bitCount_ -= 32;
      if (outputSize_ >= kWriteBlock) {
        deliver(kWriteBlock);
        std::memmove(state_.output, state_.output + kWriteBlock, outputSize_ - kWriteBlock);
        outputSize_ -= kWriteBlock;
      }
    }
  }

  void flushBits() {
    while (bitCount_ > 0) {
      state_.output[outputSize_++] = static_cast<uint8_t>(bits_);
      bits_ >>= 8;
      bitCount_ = bitCount_ > 8 ? bitCount_ - 8 : 0;
      if (outputSize_ == kWriteBlock) {
        deliver(kWriteBlock);
        outputSize_ = 0;
      }
    }
  }

  void deliver(uint32_t size) {
    uint32_t count = size;
    write_(reinterpret_cast<char*>(state_.output), &count, param_);
    streamSize_ += size;
  }

  void putLiteral(uint8_t byte) {
    if (ascii_) {
      const StreamCode code = kLiteralCode[byte];
      putBits(static_cast<uint32_t>(code.bits) << 1, 1 + code.length);
    } else {
      putBits(static_cast<uint32_t>(byte) << 1, 9);
    }
  }

  void putCopyLength(uint32_t length) {
    const int symbol = lengthSymbolOf(length);
    const StreamCode code = kLengthCode[symbol];
    putBits(1 | (static_cast<uint32_t>(code.bits) << 1), 1 + code.length);
    putBits(length - kLengthBase[symbol], kLengthExtraBits[symbol]);
  }

  void putCopy(uint32_t length, uint32_t distance) {
    putCopyLength(length);
    const unsigned low = length == 2 ? kShortCopyLowBits : dictionaryBits_;
    const uint32_t value = distance - 1;
    const StreamCode code = kDistanceCode[value >> low];
    putBits(code.bits, code.length);
    putBits(value & ((1u << low) - 1), low);
  }

  ImplodeState& state_;
  PqReadFn read_;
  PqWriteFn write_;
  void* param_;
  const bool ascii_;
  const unsigned dictionaryBits_;
  const uint32_t dictionarySize_;
  const Level level_;
  const bool best_;
  bool inputEnded_ = false;
  uint32_t indexedUntil_ = 0;
  uint64_t bits_ = 0;
  unsigned bitCount_ = 0;
  uint32_t outputSize_ = 0;
  uint64_t streamSize_ = 0;
};

} // namespace

namespace pq {

namespace {

// The number of low distance bits a dictionary size sends raw, or 0 for a size it refuses.
unsigned dictionaryBitsOf(uint32_t dictionarySize) {
  switch (dictionarySize) {
    case 1024: return 4;
    case 2048: return 5;
    case 4096: return 6;
    default: return 0;
  }
}

ImplodeState& stateIn(char* workArea) {
  void* aligned = workArea + (-reinterpret_cast<uintptr_t>(workArea) & (kStateAlignment - 1));
  return *new (aligned) ImplodeState;
}

} // namespace

uint32_t checkImplodeArguments(uint32_t literalMode, uint32_t dictionarySize) {
  if (dictionaryBitsOf(dictionarySize) == 0) return PQ_CMP_INVALID_DICTSIZE;
  if (literalMode != PQ_CMP_BINARY && literalMode != PQ_CMP_ASCII) return PQ_CMP_INVALID_MODE;
  return PQ_CMP_NO_ERROR;
}

uint32_t implodeWithLevel(PqReadFn read, PqWriteFn write, char* workArea, void* param,
                          uint32_t* literalMode, uint32_t* dictionarySize, ImplodeLevel level) {
  const uint32_t result = checkImplodeArguments(*literalMode, *dictionarySize);
  if (result != PQ_CMP_NO_ERROR) return result;
  Encoder(stateIn(workArea), read, write, param, *literalMode == PQ_CMP_ASCII, dictionaryBitsOf(*dictionarySize),
          level)
      .run();
  return PQ_CMP_NO_ERROR;
}

uint32_t implodePiece(PqReadFn read, PqWriteFn write, char* workArea, void* param, uint32_t literalMode,
                      uint32_t dictionarySize, ImplodeLevel level, ImplodePiece* piece) {
  const uint32_t result = checkImplodeArguments(literalMode, dictionarySize);
  if (result != PQ_CMP_NO_ERROR) return result;
  // Copies reach no further back than the history keeps.
  const uint32_t historySize = std::min(piece->historySize, kHistorySize);
  Encoder(stateIn(workArea), read, write, param, literalMode == PQ_CMP_ASCII, dictionaryBitsOf(dictionarySize),
          level)
      .runPiece(piece->history + (piece->historySize - historySize), historySize, piece);
  return PQ_CMP_NO_ERROR;
}

} // namespace pq

extern "C" uint32_t PQ_CDECL pq_implode(PqReadFn read, PqWriteFn write, char* workArea, void* param,
                                        uint32_t* literalMode, uint32_t* dictionarySize) {
  return pq::implodeWithLevel(read, write, workArea, param, literalMode, dictionarySize,
                              pq::ImplodeLevel::Fast);
}
