// Helpers shared by the codec tests and fuzzers: callbacks that feed the codec in steps and
// record how it drives them, and a writer of hand-made streams token by token.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "compression/implode.h"
#include "compression/implode_tables.h"

namespace pqtest {

// Feeds `input` to the read callback and collects what the write callback gets, recording
// every call on both sides. The first read gets `firstRead` bytes, or as many as it asks for
// when that is 0. Later reads get as many as they ask for when `maxPiece` is 0, and otherwise
// 1 to maxPiece bytes, drawn from `seed` so that single bytes, short pieces and whole requests
// all come.
struct SteppingStreams {
  SteppingStreams() = default;
  SteppingStreams(const uint8_t* bytes, size_t size, uint32_t firstRead, uint32_t maxPiece, uint32_t seed)
      : input(bytes, bytes + size), firstRead(firstRead), maxPiece(maxPiece), seed(seed) {}

  std::vector<uint8_t> input;
  uint32_t firstRead = 0, maxPiece = 0, seed = 12345;
  size_t position = 0;
  std::vector<uint32_t> readRequests, readResults, writeSizes;
  std::vector<uint8_t> output;

  uint32_t nextPiece(uint32_t requested) {
    seed = seed * 1103515245u + 12345u;
    const uint32_t choice = (seed >> 16) % 4;
    const uint32_t piece = choice == 0   ? 1
                           : choice == 1 ? 1 + (seed >> 8) % 7
                           : choice == 2 ? 1 + (seed >> 4) % 300
                                         : requested;
    return std::min({piece, maxPiece, requested});
  }

  static uint32_t PQ_CDECL read(char* buffer, uint32_t* size, void* param) {
    auto* self = static_cast<SteppingStreams*>(param);
    self->readRequests.push_back(*size);
    uint32_t count = *size;
    if (self->readResults.empty() && self->firstRead != 0) {
      count = self->firstRead;
    } else if (!self->readResults.empty() && self->maxPiece != 0) {
      count = self->nextPiece(*size);
    }
    count = static_cast<uint32_t>(std::min<size_t>({count, *size, self->input.size() - self->position}));
    if (count > 0) std::memcpy(buffer, self->input.data() + self->position, count);
    self->position += count;
    self->readResults.push_back(count);
    return count;
  }

  static void PQ_CDECL write(char* buffer, uint32_t* size, void* param) {
    auto* self = static_cast<SteppingStreams*>(param);
    self->writeSizes.push_back(*size);
    self->output.insert(self->output.end(), buffer, buffer + *size);
  }

  uint32_t explode() {
    std::vector<char> workArea(PQ_EXPLODE_WORK_SIZE);
    return pq_explode(read, write, workArea.data(), this);
  }
};

// Builds a stream token by token, the way the format lays the bits down.
class StreamWriter {
public:
  StreamWriter(uint8_t literalMode, uint8_t dictionaryByte)
      : bytes_{literalMode, dictionaryByte}, dictionaryByte_(dictionaryByte), ascii_(literalMode == 1) {}

  StreamWriter& literal(uint8_t value) {
    raw(0, 1);
    if (ascii_) {
      const auto code = pq::implode::kLiteralCode[value];
      raw(code.bits, code.length);
    } else {
      raw(value, 8);
    }
    return *this;
  }

  StreamWriter& copy(uint32_t length, uint32_t distance) {
    lengthCode(length);
    const unsigned low = length == 2 ? 2 : dictionaryByte_;
    const uint32_t value = distance - 1;
    const auto code = pq::implode::kDistanceCode[value >> low];
    raw(code.bits, code.length);
    raw(value & ((1u << low) - 1), low);
    return *this;
  }

  StreamWriter& end() {
    lengthCode(pq::implode::kEndLength);
    return *this;
  }

  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> result = bytes_;
    if (bitCount_ > 0) result.push_back(static_cast<uint8_t>(pending_));
    return result;
  }

  void raw(uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
      pending_ |= ((value >> i) & 1u) << bitCount_;
      if (++bitCount_ == 8) {
        bytes_.push_back(static_cast<uint8_t>(pending_));
        pending_ = 0;
        bitCount_ = 0;
      }
    }
  }

private:
  void lengthCode(uint32_t length) {
    raw(1, 1);
    const int symbol = pq::implode::lengthSymbolOf(length);
    const auto code = pq::implode::kLengthCode[symbol];
    raw(code.bits, code.length);
    raw(length - pq::implode::kLengthBase[symbol], pq::implode::kLengthExtraBits[symbol]);
  }

  std::vector<uint8_t> bytes_;
  unsigned dictionaryByte_;
  bool ascii_;
  uint32_t pending_ = 0;
  unsigned bitCount_ = 0;
};


// One token of a stream, as a checker sees it.
struct Token {
  bool isCopy;
  uint32_t value; // the literal byte, or the copy length (519 for the end code)
  uint32_t distance;
};

// Walks a complete stream token by token (bit by bit, independent of the decoder's paths).
// Returns false if the stream ends before the end code.
inline bool parseTokens(const std::vector<uint8_t>& stream, std::vector<Token>* tokens) {
  tokens->clear();
  if (stream.size() < 2) return false;
  const bool ascii = stream[0] == 1;
  const unsigned dictionaryBits = stream[1];
  size_t bitPosition = 16;
  auto bit = [&](uint32_t* value) {
    if (bitPosition >= stream.size() * 8) return false;
    *value = (stream[bitPosition / 8] >> (bitPosition % 8)) & 1u;
    ++bitPosition;
    return true;
  };
  auto raw = [&](unsigned count, uint32_t* value) {
    *value = 0;
    for (unsigned i = 0; i < count; ++i) {
      uint32_t b;
      if (!bit(&b)) return false;
      *value |= b << i;
    }
    return true;
  };
  // Reads a prefix code bit by bit, matching it against the stream-order codes.
  auto code = [&](const auto& codes, uint32_t* symbol) {
    uint32_t bits = 0;
    for (unsigned length = 1; length <= 16; ++length) {
      uint32_t b;
      if (!bit(&b)) return false;
      bits |= b << (length - 1);
      for (size_t s = 0; s < codes.size(); ++s) {
        if (codes[s].length == length && codes[s].bits == bits) {
          *symbol = static_cast<uint32_t>(s);
          return true;
        }
      }
    }
    return false;
  };
  for (;;) {
    uint32_t flag;
    if (!bit(&flag)) return false;
    if (flag == 0) {
      uint32_t literal;
      if (!(ascii ? code(pq::implode::kLiteralCode, &literal) : raw(8, &literal))) return false;
      tokens->push_back({false, literal, 0});
      continue;
    }
    uint32_t symbol, extra;
    if (!code(pq::implode::kLengthCode, &symbol) || !raw(pq::implode::kLengthExtraBits[symbol], &extra)) return false;
    const uint32_t length = pq::implode::kLengthBase[symbol] + extra;
    if (length == pq::implode::kEndLength) {
      tokens->push_back({true, length, 0});
      return true;
    }
    const unsigned low = length == 2 ? 2 : dictionaryBits;
    uint32_t high, lowValue;
    if (!code(pq::implode::kDistanceCode, &high) || !raw(low, &lowValue)) return false;
    tokens->push_back({true, length, ((high << low) | lowValue) + 1});
  }
}

} // namespace pqtest
