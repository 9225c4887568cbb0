/*
 * pq_explode: the implode stream decoder behind the library's _explode.
 *
 * State. Everything the decoder keeps between bytes lives in the caller's work area, laid
 * out as ExplodeState: the output window, the input buffer, the distance table of the
 * stream's dictionary size, the callbacks and the two header values. The window is
 *
 *     [ history: 4096 | block being built: 4096 | overrun: 536 ]
 *
 * Copies read from the window and append to it. A copy reaches at most 4096 bytes back, so
 * the 4096 bytes before the block are all the history ever needed. When the block is full
 * it goes to the write callback, then the block becomes the history and whatever was written
 * past the block becomes the start of the next block. A token starts only while the block
 * has room, and the overrun takes what it may write past the block: up to 4 literals ahead
 * of a copy, the longest copy (518) and the 14 bytes that a copy's first two 8-byte moves
 * may write past the copy's end. The history is cleared at the start of every stream: a distance
 * that reaches back before the first output byte reads zeros, never bytes that an earlier
 * stream left in the same work area.
 *
 * The input buffer holds one read of up to 2048 bytes (the size the callbacks are asked
 * for), followed by 8 spare bytes so that a 64-bit load at any position stays inside it.
 *
 * The decoder never returns to its caller in the middle of a stream: the callbacks are
 * called from inside. So the bit buffer and the cursors are locals of the one call and live
 * in registers; only what does not fit a register is in the work area.
 *
 * Bit reading. Bits accumulate in a 64-bit buffer, first stream bit in bit 0, `count` of
 * them valid. To look at the next n bits we take the low n bits of the buffer ("peek"); to
 * use them we shift the buffer right by n ("drop"). Raw values come out least significant
 * bit first, exactly as stored. Prefix codes are sent most significant bit first, so instead
 * of assembling them bit by bit we peek as many bits as the longest code and index a table
 * that is built for bits in stream order; the entry says how many of the peeked bits the
 * code and the raw bits after it take.
 *
 * Two paths take bits from the input:
 *   - the fast path runs while the input buffer holds 15 or more unread bytes. One
 *     unaligned 64-bit load ("refill") makes all 64 bits of the buffer stream bits and
 *     counts at least 56 of them; it decodes without checking for the end of the input or
 *     of the window, only once per round whether both still have room. The load may leave
 *     bits of the next, not yet counted, byte above `count`; they are the same bits the next
 *     load will put there, so OR-ing again is harmless, and they may be looked at (not
 *     consumed) before they are counted.
 *     In binary mode a round is a run of literals and the copy that ends it. A round starts
 *     with at least 42 bits counted and 50 bits of stream in the buffer: enough for the flags
 *     and bytes of five 9-bit literals, so the run's length comes from the lowest set flag
 *     among them without a branch per literal, and all five bytes are stored at once whether
 *     or not they are literals. Then the copy's head is looked up while a refill is merged in,
 *     and its distance code while another one is (a copy takes at most 30 bits: flag 1,
 *     length code 7, extra bits 8, distance code 8, low bits 6); the second refill is what
 *     leaves the next round its 42 bits. Two loads a round, the first advancing at most 7
 *     bytes, are why the path wants 15 bytes.
 *     What limits the fast path is the chain from one round to the next (the literal flags,
 *     the head lookup, the distance lookup, each depending on how many bits the one before
 *     took) and the machine's arithmetic units; so the refills are merged in beside the
 *     lookups rather than ahead of them, and what is off the chain is written to cost loads,
 *     stores or vector operations rather than integer arithmetic.
 *   - the careful path handles the last few bytes of each read: it pulls single bytes, asks
 *     the read callback for more only when the buffer is empty and a bit is still missing,
 *     and checks every need. For a prefix code it peeks the bits it has (missing bits read
 *     as zero) and accepts the entry only if its code fits in what is there; so a stream
 *     that ends right after its end code is complete, and one cut anywhere else runs out.
 */
#include <array>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "compression/byte_order.h"
#include "compression/implode.h"
#include "compression/implode_tables.h"

namespace {

using namespace pq::implode;

constexpr uint32_t kReadRequest = 2048;
constexpr uint32_t kBlockSize = 4096;
// The history keeps 4096 bytes because no distance reaches further back.
constexpr uint32_t kHistorySize = 4096;

// A binary literal: its flag 0 and the byte. A round looks at five of them at a time.
constexpr unsigned kLiteralBits = 9;
constexpr unsigned kLiteralsPerRun = 5;
constexpr unsigned kLiteralRunBits = kLiteralsPerRun * kLiteralBits;
constexpr uint64_t makeLiteralFlags() {
  uint64_t flags = 0;
  for (unsigned literal = 0; literal < kLiteralsPerRun; ++literal) flags |= uint64_t{1} << (literal * kLiteralBits);
  return flags;
}
// Where the flags of the next five tokens are if they all are literals.
constexpr uint64_t kLiteralFlags = makeLiteralFlags();
// How many literals a run of so many bits holds: a load, where a division would be arithmetic.
constexpr std::array<uint8_t, kLiteralRunBits + 1> makeLiteralCounts() {
  std::array<uint8_t, kLiteralRunBits + 1> counts{};
  for (unsigned bits = 0; bits <= kLiteralRunBits; ++bits) counts[bits] = static_cast<uint8_t>(bits / kLiteralBits);
  return counts;
}
constexpr auto kLiteralCounts = makeLiteralCounts();

// A copy starts with two 8-byte moves, so the shortest (2 bytes) writes 14 bytes too many;
// longer ones write less past their end.
constexpr uint32_t kCopyFirstMoves = 16;
constexpr uint32_t kCopyOvershoot = kCopyFirstMoves - kMinMatchLength;
constexpr uint32_t kOverrun = (kLiteralsPerRun - 1) + kMaxMatchLength + kCopyOvershoot;
static_assert(kOverrun >= sizeof(uint64_t), "a run of literals is stored as one 8-byte word");
constexpr uint32_t kWindowSize = kHistorySize + kBlockSize + kOverrun;
constexpr uint32_t kLoadSlack = 8;
constexpr uint32_t kFastInputBytes = 2 * kLoadSlack - 1;

// The fast path's bit budget. A refill counts at least 56 bits and leaves 64 stream bits in
// the buffer; a round's last step, the distance code and its low bits, takes at most 14.
constexpr unsigned kLoadedBits = 56;
constexpr unsigned kMaxDistanceBits = kDistanceCodeBits + 6;
constexpr unsigned kRoundStartCounted = kLoadedBits - kMaxDistanceBits;
constexpr unsigned kRoundStartInBuffer = 64 - kMaxDistanceBits;
// The literals ahead of a copy are consumed from counted bits; five literal bytes and, after
// four literals, the copy's head index are read from the buffer.
static_assert((kLiteralsPerRun - 1) * kLiteralBits <= kRoundStartCounted, "a run ahead of a copy is counted");
static_assert(kLiteralRunBits <= kRoundStartInBuffer, "a round's literal bytes are in the buffer");
static_assert((kLiteralsPerRun - 1) * kLiteralBits + 1 + kLengthCodeBits <= kRoundStartInBuffer,
              "the head of a copy after four literals is in the buffer");
// After a refill: the head index, then (after the head and extra bits, at most 16) the
// distance index come from counted bits.
static_assert(1 + kLengthCodeBits + 8 + kDistanceCodeBits <= kLoadedBits, "a copy's lookups read counted bits");

// A header and at least one more token byte are needed; shorter first reads are refused.
constexpr uint32_t kMinFirstRead = 5;

// The decode tables of copies. An entry stands for a prefix code and the raw bits that
// follow it: the value is `base` plus the raw bits found at `codeBits`, and the next field
// starts at `totalBits`. The fields are read one by one straight from the table: loads, not
// arithmetic to take a packed word apart.
struct CodeEntry {
  uint16_t base;
  uint8_t totalBits;
  uint8_t codeBits;
};

// A copy's head: its flag bit 1 and the length code, looked up with the next 8 stream bits,
// flag included, then the extra bits; the value is the length. Only odd indexes (flag 1)
// are copies; the even half of the table stays empty.
constexpr unsigned kCopyHeadBits = 1 + kLengthCodeBits;
using CopyHeadTable = std::array<CodeEntry, (1u << kCopyHeadBits)>;
constexpr CopyHeadTable makeCopyHeadTable() {
  const auto symbols = makeDecodeTable<kLengthCodeBits>(kLengthCode);
  CopyHeadTable table{};
  for (size_t code = 0; code < symbols.size(); ++code) {
    const DecodeEntry entry = symbols[code];
    const unsigned headBits = 1 + entry.length;
    table[1 | code << 1] = {kLengthBase[entry.symbol],
                            static_cast<uint8_t>(headBits + kLengthExtraBits[entry.symbol]),
                            static_cast<uint8_t>(headBits)};
  }
  return table;
}
constexpr CopyHeadTable kCopyHeads = makeCopyHeadTable();
// The head of a length-2 copy: its flag and the length code of row 0, in stream order.
constexpr unsigned kShortCopyHeadBits = 1 + kLengthCode[0].length;
constexpr uint32_t kShortCopyHead = 1u | static_cast<uint32_t>(kLengthCode[0].bits) << 1;
static_assert(kLengthBase[0] == kMinMatchLength && kLengthExtraBits[0] == 0, "row 0 is exactly length 2");

// A distance code and its low bits, for one count of low bits; the value is the distance.
using DistanceTable = std::array<CodeEntry, (1u << kDistanceCodeBits)>;
constexpr DistanceTable makeDistanceTable(unsigned lowBitCount) {
  DistanceTable table{};
  for (size_t index = 0; index < table.size(); ++index) {
    const DecodeEntry entry = kDistanceDecode[index];
    table[index] = {static_cast<uint16_t>((entry.symbol << lowBitCount) + 1),
                    static_cast<uint8_t>(entry.length + lowBitCount), entry.length};
  }
  return table;
}
// Length-2 copies always send 2 low bits; the others as many as the header says, so their
// table is made for each stream.
constexpr DistanceTable kShortCopyDistances = makeDistanceTable(kShortCopyLowBits);

// ASCII literals, in two levels: their code takes up to 13 bits, but most codes (and all
// that text uses often) take 8 or fewer, so the next 8 bits give the literal or, for one of
// the few prefixes of a longer code, a second table for the 5 bits after them. The two
// levels hold 1.4 KB where one 13-bit table would take 16 KB of the library.
constexpr unsigned kLiteralFirstBits = 8;
constexpr unsigned kLiteralSecondBits = kLiteralCodeBits - kLiteralFirstBits;
constexpr auto kLiteralCodeTable = makeDecodeTable<kLiteralCodeBits>(kLiteralCode);
constexpr size_t countLongLiteralPrefixes() {
  size_t count = 0;
  for (size_t prefix = 0; prefix < (size_t{1} << kLiteralFirstBits); ++prefix) {
    if (kLiteralCodeTable[prefix].length > kLiteralFirstBits) ++count;
  }
  return count;
}
constexpr size_t kLongLiteralPrefixes = countLongLiteralPrefixes();
// A first-level entry of length 0 sends to the second-level table numbered by its symbol.
struct LiteralTables {
  std::array<DecodeEntry, (1u << kLiteralFirstBits)> first;
  std::array<std::array<DecodeEntry, (1u << kLiteralSecondBits)>, kLongLiteralPrefixes> second;
};
constexpr LiteralTables makeLiteralTables() {
  LiteralTables tables{};
  uint8_t next = 0;
  for (size_t prefix = 0; prefix < tables.first.size(); ++prefix) {
    const DecodeEntry entry = kLiteralCodeTable[prefix];
    if (entry.length <= kLiteralFirstBits) {
      tables.first[prefix] = entry;
      continue;
    }
    tables.first[prefix] = {next, 0};
    for (size_t rest = 0; rest < tables.second[next].size(); ++rest) {
      tables.second[next][rest] = kLiteralCodeTable[prefix | rest << kLiteralFirstBits];
    }
    ++next;
  }
  return tables;
}
constexpr LiteralTables kLiteralTables = makeLiteralTables();

// The ASCII literal whose code starts at bit 0, and how many bits the code takes.
inline DecodeEntry decodeAsciiLiteral(uint64_t bits) {
  DecodeEntry entry = kLiteralTables.first[bits & ((1u << kLiteralFirstBits) - 1)];
  if (entry.length == 0) {
    entry = kLiteralTables.second[entry.symbol][(bits >> kLiteralFirstBits) & ((1u << kLiteralSecondBits) - 1)];
  }
  return entry;
}

struct ExplodeState {
  DistanceTable distances;
  uint8_t window[kWindowSize];
  uint8_t input[kReadRequest + kLoadSlack];
  PqReadFn read;
  PqWriteFn write;
  void* param;
  bool inputEnded;
  bool asciiLiterals;
  unsigned distanceLowBits;
};

// The work area is a char buffer of any alignment; the state starts at the next 8-byte
// boundary, so up to 7 bytes of the area go unused.
constexpr size_t kStateAlignment = alignof(ExplodeState);
static_assert(sizeof(ExplodeState) + kStateAlignment - 1 <= PQ_EXPLODE_WORK_SIZE,
              "the decoder's state must fit the library's work area");

inline uint64_t lowBits(uint64_t bits, unsigned count) { return bits & ((uint64_t{1} << count) - 1); }

// The index of the lowest set bit of a nonzero word: one instruction on a 64-bit machine;
// 32-bit builds look at the halves rather than call the compiler's support library, which
// the library DLL does without.
inline unsigned lowestSetBit(uint64_t word) {
#if UINTPTR_MAX > 0xFFFFFFFFu
  return static_cast<unsigned>(__builtin_ctzll(word));
#else
  const auto low = static_cast<uint32_t>(word);
  return low != 0 ? static_cast<unsigned>(__builtin_ctz(low))
                  : 32 + static_cast<unsigned>(__builtin_ctz(static_cast<uint32_t>(word >> 32)));
#endif
}

// Stores the bytes of the next literals as one 8-byte word, whether or not they all are
// literals: literal k's byte sits at bits 9k+1 to 9k+8. The odd bytes move down one bit to
// sit beside the even ones, then the pairs move down to their places (six bytes, of which a
// round uses five). Where SSE2 is there the vector unit does it, leaving the integer units
// to the decoding chain.
inline void storeLiterals(uint8_t* out, uint64_t bits) {
  constexpr uint64_t kByte = 0xFF;
  constexpr uint64_t kEvenBytes = kByte | kByte << 18 | kByte << 36;
  constexpr uint64_t kOddBytesMoved = kEvenBytes << 8;
  constexpr uint64_t kPair = 0xFFFF;
#if defined(__SSE2__)
  const __m128i word = _mm_srli_epi64(_mm_cvtsi64_si128(static_cast<long long>(bits)), 1);
  const __m128i pairs = _mm_or_si128(_mm_and_si128(word, _mm_cvtsi64_si128(kEvenBytes)),
                                     _mm_and_si128(_mm_srli_epi64(word, 1), _mm_cvtsi64_si128(kOddBytesMoved)));
  const __m128i bytes =
      _mm_or_si128(_mm_and_si128(pairs, _mm_cvtsi64_si128(kPair)),
                   _mm_or_si128(_mm_and_si128(_mm_srli_epi64(pairs, 2), _mm_cvtsi64_si128(kPair << 16)),
                                _mm_and_si128(_mm_srli_epi64(pairs, 4), _mm_cvtsi64_si128(kPair << 32))));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
#else
  const uint64_t word = bits >> 1;
  const uint64_t pairs = (word & kEvenBytes) | ((word >> 1) & kOddBytesMoved);
  pq::storeLittleEndian64(out, (pairs & kPair) | ((pairs >> 2) & kPair << 16) | ((pairs >> 4) & kPair << 32));
#endif
}

inline void move8(uint8_t* to, const uint8_t* from) {
  uint64_t word;
  std::memcpy(&word, from, sizeof word);
  std::memcpy(to, &word, sizeof word);
}

// Appends `length` bytes copied from `distance` back; the source may overlap the copy.
// Writes up to kCopyOvershoot bytes past the copy, which the window has room for. An 8-byte
// move never reads what it writes itself as long as the distance is at least 8; later moves
// read what earlier ones wrote, as the overlap demands. Most copies are 16 bytes or shorter
// and reach 8 or more back, so they take no decision but the first.
inline uint8_t* copyMatch(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* from = out - distance;
  uint8_t* const end = out + length;
  if (distance >= 8) {
    move8(out, from);
    move8(out + 8, from + 8);
    if (length > kCopyFirstMoves) {
      out += kCopyFirstMoves;
      from += kCopyFirstMoves;
      do {
        move8(out, from);
        out += 8;
        from += 8;
      } while (out < end);
    }
  } else if (distance == 1) {
    const uint64_t repeated = *from * uint64_t{0x0101010101010101};
    do {
      std::memcpy(out, &repeated, sizeof repeated);
      out += 8;
    } while (out < end);
  } else {
    do {
      *out++ = *from++;
    } while (out < end);
  }
  return end;
}

enum class Step { Continue, EndCode, OutOfInput };

// Cursors of the decoding call, handed between the fast and the careful path.
struct Cursor {
  uint64_t bits;
  unsigned count;
  const uint8_t* in;
  const uint8_t* inEnd;
  uint8_t* out;
};

class Decoder {
public:
  explicit Decoder(ExplodeState& state) : state_(state) {}

  uint32_t run(uint32_t firstRead) {
    Cursor cursor{0, 0, state_.input + 2, state_.input + firstRead, state_.window + kHistorySize};
    uint8_t* const blockEnd = state_.window + kHistorySize + kBlockSize;
    Step step = Step::Continue;
    while (step == Step::Continue) {
      if (cursor.out >= blockEnd) deliverBlock(cursor);
      if (cursor.inEnd - cursor.in >= static_cast<ptrdiff_t>(kFastInputBytes)) {
        step = state_.asciiLiterals ? fastTokens<true>(cursor, blockEnd) : fastTokens<false>(cursor, blockEnd);
      } else {
        // The fast path may leave uncounted bits above `count`; the careful path ORs
        // whole bytes in and peeks beyond `count`, so it wants those bits clear.
        cursor.bits = lowBits(cursor.bits, cursor.count);
        step = carefulToken(cursor);
      }
    }
    if (cursor.out >= blockEnd) deliverBlock(cursor);
    uint32_t size = static_cast<uint32_t>(cursor.out - (state_.window + kHistorySize));
    state_.write(reinterpret_cast<char*>(state_.window + kHistorySize), &size, state_.param);
    return step == Step::EndCode ? PQ_CMP_NO_ERROR : PQ_CMP_ABORT;
  }

private:
  // Hands the full block to the write callback; it becomes the history, and what was
  // written past it moves down to start the next block.
  void deliverBlock(Cursor& cursor) {
    uint32_t size = kBlockSize;
    state_.write(reinterpret_cast<char*>(state_.window + kHistorySize), &size, state_.param);
    const size_t kept = static_cast<size_t>(cursor.out - state_.window) - kBlockSize;
    std::memmove(state_.window, state_.window + kBlockSize, kept);
    cursor.out -= kBlockSize;
  }

  // Tops the bit buffer up from the input: afterwards at least kLoadedBits are counted.
  static void refill(uint64_t& bits, unsigned& count, const uint8_t*& in) {
    bits |= pq::loadLittleEndian64(in) << count;
    in += (count ^ 63) >> 3;
    count |= kLoadedBits;
  }

  // Decodes the copy whose head entry is given and appends it; false at the end code.
  // `bits` starts at the copy's flag and holds at least its head and extra bits. The
  // distance is looked up before the buffer is topped up for it, so the load is merged in
  // while the lookup runs rather than after it.
  bool decodeCopy(const CodeEntry& head, uint64_t& bits, unsigned& count, const uint8_t*& in, uint8_t*& out,
                  uint32_t dictionaryLowMask) {
    // A length-2 copy is known from its head bits alone, before the head entry arrives.
    const bool shortCopy = (bits & ((1u << kShortCopyHeadBits) - 1)) == kShortCopyHead;
    const CodeEntry* const distances = shortCopy ? kShortCopyDistances.data() : state_.distances.data();
    const uint32_t lowMask = shortCopy ? (1u << kShortCopyLowBits) - 1 : dictionaryLowMask;
    const uint32_t extra = static_cast<uint32_t>(lowBits(bits >> head.codeBits, head.totalBits - head.codeBits));
    const uint32_t length = head.base + extra;
    bits >>= head.totalBits;
    count -= head.totalBits;
    if (length == kEndLength) return false;
    const CodeEntry& distanceEntry = distances[bits & ((1u << kDistanceCodeBits) - 1)];
    refill(bits, count, in);
    const uint32_t distance = distanceEntry.base + (static_cast<uint32_t>(bits >> distanceEntry.codeBits) & lowMask);
    bits >>= distanceEntry.totalBits;
    count -= distanceEntry.totalBits;
    out = copyMatch(out, distance, length);
    return true;
  }

  // Decodes while the input buffer has kFastInputBytes for two loads and the block has
  // room for a token to start: binary literals in rounds, ASCII literals one token at a time
  // (their codes have no fixed width). Works on local copies so the compiler keeps them in
  // registers (byte stores through `out` could otherwise alias any field of a structure).
  template <bool kAsciiLiterals>
  Step fastTokens(Cursor& cursor, uint8_t* const blockEnd) {
    uint64_t bits = cursor.bits;
    unsigned count = cursor.count;
    const uint8_t* in = cursor.in;
    const uint8_t* const inLimit = cursor.inEnd - kFastInputBytes;
    uint8_t* out = cursor.out;
    const uint32_t dictionaryLowMask = (1u << state_.distanceLowBits) - 1;
    Step step = Step::Continue;

    if constexpr (!kAsciiLiterals) refill(bits, count, in);
    while (in <= inLimit && out < blockEnd) {
      if constexpr (kAsciiLiterals) {
        refill(bits, count, in);
        if ((bits & 1) == 0) {
          const DecodeEntry literal = decodeAsciiLiteral(bits >> 1);
          *out++ = literal.symbol;
          bits >>= 1 + literal.length;
          count -= 1 + literal.length;
          continue;
        }
      } else {
        // The first set flag ends the run; the one above the five makes a full run, which
        // is consumed between two refills because it may reach past the counted bits.
        const unsigned runBits = lowestSetBit((bits & kLiteralFlags) | (uint64_t{1} << kLiteralRunBits));
        storeLiterals(out, bits);
        out += kLiteralCounts[runBits];
        if (runBits == kLiteralRunBits) {
          refill(bits, count, in);
          bits >>= runBits;
          count -= runBits;
          refill(bits, count, in);
          continue;
        }
        bits >>= runBits;
        count -= runBits;
      }
      // The copy's head is looked up while the refill is merged in.
      const CodeEntry& head = kCopyHeads[bits & ((1u << kCopyHeadBits) - 1)];
      refill(bits, count, in);
      if (!decodeCopy(head, bits, count, in, out, dictionaryLowMask)) {
        step = Step::EndCode;
        break;
      }
    }

    cursor.bits = bits;
    cursor.count = count;
    cursor.in = in;
    cursor.out = out;
    return step;
  }

  // Makes `needed` bits available if the input allows; returns how many there are.
  unsigned need(Cursor& cursor, unsigned needed) {
    while (cursor.count < needed) {
      if (cursor.in == cursor.inEnd && !readMore(cursor)) break;
      cursor.bits |= static_cast<uint64_t>(*cursor.in++) << cursor.count;
      cursor.count += 8;
    }
    return cursor.count;
  }

  // Asks the read callback for the next piece of input. After it once reports the end,
  // it is not asked again.
  bool readMore(Cursor& cursor) {
    if (state_.inputEnded) return false;
    uint32_t size = kReadRequest;
    uint32_t got = state_.read(reinterpret_cast<char*>(state_.input), &size, state_.param);
    if (got == 0) {
      state_.inputEnded = true;
      return false;
    }
    // A callback claiming more than was asked for gets no chance to overrun the buffer.
    if (got > kReadRequest) got = kReadRequest;
    cursor.in = state_.input;
    cursor.inEnd = state_.input + got;
    return true;
  }

  static void drop(Cursor& cursor, unsigned count) {
    cursor.bits >>= count;
    cursor.count -= count;
  }

  // Reads a code of the given table and the raw bits after it, checking each need: false
  // if the input runs out first.
  bool carefulValue(Cursor& cursor, const CodeEntry* table, unsigned indexBits, uint32_t* value) {
    const unsigned available = need(cursor, indexBits);
    const CodeEntry& entry = table[lowBits(cursor.bits, indexBits)];
    if (entry.codeBits > available) return false;
    drop(cursor, entry.codeBits);
    const unsigned rawBitCount = entry.totalBits - entry.codeBits;
    if (need(cursor, rawBitCount) < rawBitCount) return false;
    *value = entry.base + static_cast<uint32_t>(lowBits(cursor.bits, rawBitCount));
    drop(cursor, rawBitCount);
    return true;
  }

  // Decodes one token, checking each need against the input.
  Step carefulToken(Cursor& cursor) {
    if (need(cursor, 1) < 1) return Step::OutOfInput;
    if ((cursor.bits & 1) == 0) {
      drop(cursor, 1);
      uint8_t literal;
      if (!state_.asciiLiterals) {
        if (need(cursor, 8) < 8) return Step::OutOfInput;
        literal = static_cast<uint8_t>(cursor.bits);
        drop(cursor, 8);
      } else {
        const unsigned available = need(cursor, kLiteralCodeBits);
        const DecodeEntry entry = decodeAsciiLiteral(cursor.bits);
        if (entry.length > available) return Step::OutOfInput;
        literal = entry.symbol;
        drop(cursor, entry.length);
      }
      *cursor.out++ = literal;
      return Step::Continue;
    }

    uint32_t length;
    if (!carefulValue(cursor, kCopyHeads.data(), kCopyHeadBits, &length)) return Step::OutOfInput;
    if (length == kEndLength) return Step::EndCode;
    uint32_t distance;
    const DistanceTable& distances = length == kMinMatchLength ? kShortCopyDistances : state_.distances;
    if (!carefulValue(cursor, distances.data(), kDistanceCodeBits, &distance)) return Step::OutOfInput;
    cursor.out = copyMatch(cursor.out, distance, length);
    return Step::Continue;
  }

  ExplodeState& state_;
};

} // namespace

extern "C" uint32_t PQ_CDECL pq_explode(PqReadFn read, PqWriteFn write, char* workArea, void* param) {
  void* aligned = workArea + (-reinterpret_cast<uintptr_t>(workArea) & (kStateAlignment - 1));
  ExplodeState& state = *new (aligned) ExplodeState;
  state.read = read;
  state.write = write;
  state.param = param;
  state.inputEnded = false;

  uint32_t size = kReadRequest;
  uint32_t firstRead = read(reinterpret_cast<char*>(state.input), &size, param);
  if (firstRead > kReadRequest) firstRead = kReadRequest;
  if (firstRead < kMinFirstRead) return PQ_CMP_BAD_DATA;

  const uint8_t literalMode = state.input[0];
  const uint8_t dictionaryByte = state.input[1];
  if (dictionaryByte < 4 || dictionaryByte > 6) return PQ_CMP_INVALID_DICTSIZE;
  if (literalMode != PQ_CMP_BINARY && literalMode != PQ_CMP_ASCII) return PQ_CMP_INVALID_MODE;
  state.asciiLiterals = literalMode == PQ_CMP_ASCII;
  state.distanceLowBits = dictionaryByte;
  state.distances = makeDistanceTable(dictionaryByte);

  // History before the stream is zeros, whatever an earlier stream left here.
  std::memset(state.window, 0, kHistorySize);
  return Decoder(state).run(firstRead);
}
