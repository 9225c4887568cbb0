/*
 * pq_explode: the implode stream decoder behind the library's _explode.
 *
 * State. Everything the decoder keeps between bytes lives in the caller's work area, laid
 * out as ExplodeState: the output window and the input buffer, plus the callbacks and the
 * two header values. The window is
 *
 *     [ history: 4096 | block being built: 4096 | overrun: 528 ]
 *
 * Copies read from the window and append to it. A copy reaches at most 4096 bytes back, so
 * the 4096 bytes before the block are all the history ever needed. When the block is full
 * it goes to the write callback, then the block becomes the history and whatever a copy wrote
 * past the block (at most 517 bytes, plus 7 bytes of harmless overshoot from 8-byte copies)
 * becomes the start of the next block. The history is cleared at the start of every stream:
 * a distance that reaches back before the first output byte reads zeros, never bytes that an
 * earlier stream left in the same work area.
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
 * that is built for bits in stream order (implode_tables.h); the entry says how many of
 * the peeked bits the code really used.
 *
 * Two paths take bits from the input:
 *   - the fast path runs while the input buffer holds 8 or more unread bytes: one
 *     unaligned 64-bit load tops the bit buffer up to at least 56 bits, which covers any
 *     token (at most 30 bits: flag 1, length code 7, extra bits 8, distance code 8, low
 *     bits 6), and it decodes tokens without ever checking for the end of the input. The
 *     load may leave bits of the next, not yet counted, byte above `count`; they are the
 *     same bits the next load will put there, so OR-ing again is harmless.
 *   - the careful path handles the last few bytes of each read: it pulls single bytes, asks
 *     the read callback for more only when the buffer is empty and a bit is still missing,
 *     and checks every need. For a prefix code it peeks the bits it has (missing bits read
 *     as zero) and accepts the entry only if its code fits in what is there; so a stream
 *     that ends right after its end code is complete, and one cut anywhere else runs out.
 */
#include <cstring>
#include <new>

#include "compression/implode.h"
#include "compression/implode_tables.h"

namespace {

using namespace pq::implode;

constexpr uint32_t kReadRequest = 2048;
constexpr uint32_t kBlockSize = 4096;
// The history keeps 4096 bytes because no distance reaches further back.
constexpr uint32_t kHistorySize = 4096;
// 8-byte copies may write up to 7 bytes past the copy's end; round up to 8.
constexpr uint32_t kCopyOvershoot = 8;
constexpr uint32_t kWindowSize = kHistorySize + kBlockSize + kMaxMatchLength + 2 + kCopyOvershoot;
constexpr uint32_t kLoadSlack = 8;
// The longest token: flag, length code, extra bits, distance code, 6 low distance bits.
constexpr unsigned kMaxTokenBits = 1 + kLengthCodeBits + 8 + kDistanceCodeBits + 6;
// A header and at least one more token byte are needed; shorter first reads are refused.
constexpr uint32_t kMinFirstRead = 5;

struct ExplodeState {
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

inline uint64_t loadLittleEndian64(const uint8_t* bytes) {
  uint64_t value;
  std::memcpy(&value, bytes, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  value = __builtin_bswap64(value);
#endif
  return value;
}

inline uint64_t lowBits(uint64_t bits, unsigned count) { return bits & ((uint64_t{1} << count) - 1); }

// Appends `length` bytes copied from `distance` back; the source may overlap the copy.
// Writes up to kCopyOvershoot - 1 bytes past the copy, which the window has room for.
inline uint8_t* copyMatch(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* from = out - distance;
  uint8_t* const end = out + length;
  if (distance >= 8) {
    do {
      std::memcpy(out, from, 8);
      out += 8;
      from += 8;
    } while (out < end);
  } else if (distance == 1) {
    std::memset(out, *from, length);
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
      if (cursor.inEnd - cursor.in >= static_cast<ptrdiff_t>(kLoadSlack)) {
        step = fastTokens(cursor, blockEnd);
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

  // Decodes tokens while the input buffer has 8 bytes for a load and the block has room
  // for a token to start. Works on local copies so the compiler keeps them in registers
  // (byte stores through `out` could otherwise alias any field of a structure).
  Step fastTokens(Cursor& cursor, uint8_t* const blockEnd) {
    uint64_t bits = cursor.bits;
    unsigned count = cursor.count;
    const uint8_t* in = cursor.in;
    const uint8_t* const inLimit = cursor.inEnd - kLoadSlack;
    uint8_t* out = cursor.out;
    const bool ascii = state_.asciiLiterals;
    const unsigned dictionaryLowBits = state_.distanceLowBits;
    Step step = Step::Continue;

    while (in <= inLimit && out < blockEnd) {
      bits |= loadLittleEndian64(in) << count;
      in += (63 - count) >> 3;
      count |= 56;
      do {
        if ((bits & 1) == 0) {
          if (!ascii) {
            *out++ = static_cast<uint8_t>(bits >> 1);
            bits >>= 9;
            count -= 9;
          } else {
            const DecodeEntry literal = kLiteralDecode[(bits >> 1) & ((1u << kLiteralCodeBits) - 1)];
            *out++ = literal.symbol;
            bits >>= 1 + literal.length;
            count -= 1 + literal.length;
          }
          continue;
        }
        const LengthDecodeEntry lengthEntry = kLengthDecode[(bits >> 1) & ((1u << kLengthCodeBits) - 1)];
        bits >>= 1 + lengthEntry.codeLength;
        const uint32_t length = lengthEntry.base + static_cast<uint32_t>(lowBits(bits, lengthEntry.extraBits));
        bits >>= lengthEntry.extraBits;
        count -= 1 + lengthEntry.codeLength + lengthEntry.extraBits;
        if (length == kEndLength) {
          step = Step::EndCode;
          break;
        }
        const DecodeEntry distanceEntry = kDistanceDecode[bits & ((1u << kDistanceCodeBits) - 1)];
        bits >>= distanceEntry.length;
        const unsigned low = length == 2 ? kShortCopyLowBits : dictionaryLowBits;
        const uint32_t distance =
            ((static_cast<uint32_t>(distanceEntry.symbol) << low) | static_cast<uint32_t>(lowBits(bits, low))) + 1;
        bits >>= low;
        count -= distanceEntry.length + low;
        out = copyMatch(out, distance, length);
      } while (count >= kMaxTokenBits && out < blockEnd);
      if (step != Step::Continue) break;
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

  // Decodes one token, checking each need against the input.
  Step carefulToken(Cursor& cursor) {
    if (need(cursor, 1) < 1) return Step::OutOfInput;
    const bool isCopy = cursor.bits & 1;
    drop(cursor, 1);
    if (!isCopy) {
      uint8_t literal;
      if (!state_.asciiLiterals) {
        if (need(cursor, 8) < 8) return Step::OutOfInput;
        literal = static_cast<uint8_t>(cursor.bits);
        drop(cursor, 8);
      } else {
        const unsigned available = need(cursor, kLiteralCodeBits);
        const DecodeEntry entry = kLiteralDecode[lowBits(cursor.bits, kLiteralCodeBits)];
        if (entry.length > available) return Step::OutOfInput;
        literal = entry.symbol;
        drop(cursor, entry.length);
      }
      *cursor.out++ = literal;
      return Step::Continue;
    }

    unsigned available = need(cursor, kLengthCodeBits);
    const LengthDecodeEntry lengthEntry = kLengthDecode[lowBits(cursor.bits, kLengthCodeBits)];
    if (lengthEntry.codeLength > available) return Step::OutOfInput;
    drop(cursor, lengthEntry.codeLength);
    if (need(cursor, lengthEntry.extraBits) < lengthEntry.extraBits) return Step::OutOfInput;
    const uint32_t length = lengthEntry.base + static_cast<uint32_t>(lowBits(cursor.bits, lengthEntry.extraBits));
    drop(cursor, lengthEntry.extraBits);
    if (length == kEndLength) return Step::EndCode;

    available = need(cursor, kDistanceCodeBits);
    const DecodeEntry distanceEntry = kDistanceDecode[lowBits(cursor.bits, kDistanceCodeBits)];
    if (distanceEntry.length > available) return Step::OutOfInput;
    drop(cursor, distanceEntry.length);
    const unsigned low = length == 2 ? kShortCopyLowBits : state_.distanceLowBits;
    if (need(cursor, low) < low) return Step::OutOfInput;
    const uint32_t distance =
        ((static_cast<uint32_t>(distanceEntry.symbol) << low) | static_cast<uint32_t>(lowBits(cursor.bits, low))) + 1;
    drop(cursor, low);
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

  // History before the stream is zeros, whatever an earlier stream left here.
  std::memset(state.window, 0, kHistorySize);
  return Decoder(state).run(firstRead);
}
