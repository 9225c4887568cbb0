// Helpers shared by the codec tests: callbacks that record how the codec drives them, and a
// writer of hand-made streams token by token.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "compression/implode.h"
#include "compression/implode_tables.h"

namespace pq::test {

// Feeds a byte vector to the read callback in pieces chosen by `pieceSize` (the first read
// always gets min(size, request), unless `firstRead` says otherwise), and records every
// call on both sides.
struct RecordingStreams {
  std::vector<uint8_t> input;
  size_t position = 0;
  std::vector<uint32_t> readRequests;
  std::vector<uint32_t> readResults;
  std::vector<uint32_t> writeSizes;
  std::vector<uint8_t> output;
  // 0: give as much as asked for. Otherwise later reads give 1..maxPiece bytes (fixed seed).
  uint32_t maxPiece = 0;
  // Size of the first read; 0 means as much as asked for.
  uint32_t firstRead = 0;
  std::mt19937 random{12345};

  static uint32_t PQ_CDECL read(char* buffer, uint32_t* size, void* param) {
    auto* self = static_cast<RecordingStreams*>(param);
    self->readRequests.push_back(*size);
    uint32_t count = *size;
    if (self->readResults.empty() && self->firstRead != 0) {
      count = self->firstRead;
    } else if (!self->readResults.empty() && self->maxPiece != 0) {
      count = std::uniform_int_distribution<uint32_t>(1, self->maxPiece)(self->random);
    }
    count = static_cast<uint32_t>(std::min<size_t>({count, *size, self->input.size() - self->position}));
    if (count > 0) std::memcpy(buffer, self->input.data() + self->position, count);
    self->position += count;
    self->readResults.push_back(count);
    return count;
  }

  static void PQ_CDECL write(char* buffer, uint32_t* size, void* param) {
    auto* self = static_cast<RecordingStreams*>(param);
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
      const auto code = implode::kLiteralCode[value];
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
    const auto code = implode::kDistanceCode[value >> low];
    raw(code.bits, code.length);
    raw(value & ((1u << low) - 1), low);
    return *this;
  }

  StreamWriter& end() {
    lengthCode(implode::kEndLength);
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
    const int symbol = implode::lengthSymbolOf(length);
    const auto code = implode::kLengthCode[symbol];
    raw(code.bits, code.length);
    raw(length - implode::kLengthBase[symbol], implode::kLengthExtraBits[symbol]);
  }

  std::vector<uint8_t> bytes_;
  unsigned dictionaryByte_;
  bool ascii_;
  uint32_t pending_ = 0;
  unsigned bitCount_ = 0;
};

} // namespace pq::test
