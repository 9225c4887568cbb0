// The three fixed prefix codes of the implode format (lengths, distances, ASCII literals),
// built at compile time from their code lengths, in the two shapes the codec needs:
//   - decode tables indexed by the next bits of the stream, taken as a number (first stream
//     bit lowest), each entry giving the symbol and how many bits its code really uses;
//   - encode tables giving each symbol's code already bit-reversed into stream order, so the
//     encoder can append it least significant bit first like every other field.
//
// Every code is the bitwise complement of the canonical code for its lengths (shorter codes
// first, codes of one length in increasing symbol order), sent most significant bit first.
// All three codes are complete, so every index of a decode table is a valid code.
#pragma once

#include <array>
#include <cstdint>

namespace pq::implode {

constexpr int kLengthSymbolCount = 16;
constexpr int kDistanceSymbolCount = 64;
constexpr int kLiteralSymbolCount = 256;

// Longest codes, hence how many bits a decode table lookup peeks.
constexpr int kLengthCodeBits = 7;
constexpr int kDistanceCodeBits = 8;
constexpr int kLiteralCodeBits = 13;

constexpr uint32_t kMinMatchLength = 2;
// 519 is the end code, so the longest copy is 518.
constexpr uint32_t kEndLength = 519;
constexpr uint32_t kMaxMatchLength = kEndLength - 1;
// A length-2 copy sends 2 low distance bits beside a 6-bit symbol: it reaches 256 back.
constexpr uint32_t kShortCopyLowBits = 2;
constexpr uint32_t kMaxShortCopyDistance = kDistanceSymbolCount << kShortCopyLowBits;

// Rows of the length code: base length and number of extra bits (value added to the base).
constexpr std::array<uint16_t, kLengthSymbolCount> kLengthBase = {
    2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 16, 24, 40, 72, 136, 264};
constexpr std::array<uint8_t, kLengthSymbolCount> kLengthExtraBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
constexpr std::array<uint8_t, kLengthSymbolCount> kLengthCodeLength = {
    3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};

constexpr std::array<uint8_t, kDistanceSymbolCount> makeDistanceCodeLengths() {
  std::array<uint8_t, kDistanceSymbolCount> lengths{};
  for (int symbol = 0; symbol < kDistanceSymbolCount; ++symbol) {
    lengths[symbol] = symbol == 0 ? 2 : symbol <= 2 ? 4 : symbol <= 6 ? 5 : symbol <= 21 ? 6
                    : symbol <= 47 ? 7 : 8;
  }
  return lengths;
}
constexpr std::array<uint8_t, kDistanceSymbolCount> kDistanceCodeLength = makeDistanceCodeLengths();

// Code lengths of the ASCII-mode literal code: the frequent characters of English text and
// source code get the short codes. Bytes not listed under a shorter length have 13 bits.
constexpr std::array<uint8_t, kLiteralSymbolCount> makeLiteralCodeLengths() {
  std::array<uint8_t, kLiteralSymbolCount> lengths{};
  for (auto& length : lengths) length = 13;
  struct Range { uint8_t first, last, length; };
  constexpr Range kRanges[] = {
      {32, 32, 4},
      {69, 69, 5}, {97, 97, 5}, {101, 101, 5}, {105, 105, 5}, {108, 108, 5}, {110, 111, 5},
      {114, 117, 5},
      {45, 45, 6}, {49, 49, 6}, {65, 65, 6}, {67, 68, 6}, {73, 73, 6}, {76, 76, 6}, {78, 79, 6},
      {82, 84, 6}, {98, 100, 6}, {102, 104, 6}, {109, 109, 6}, {112, 112, 6},
      {10, 10, 7}, {13, 13, 7}, {40, 41, 7}, {44, 44, 7}, {46, 46, 7}, {48, 48, 7}, {50, 53, 7},
      {55, 56, 7}, {61, 61, 7}, {66, 66, 7}, {70, 70, 7}, {77, 77, 7}, {80, 80, 7}, {85, 85, 7},
      {107, 107, 7}, {119, 119, 7},
      {9, 9, 8}, {34, 34, 8}, {39, 39, 8}, {42, 42, 8}, {47, 47, 8}, {54, 54, 8}, {57, 58, 8},
      {71, 72, 8}, {87, 87, 8}, {91, 91, 8}, {95, 95, 8}, {118, 118, 8}, {120, 121, 8},
      {43, 43, 9}, {62, 62, 9}, {75, 75, 9}, {86, 86, 9}, {88, 89, 9}, {93, 93, 9},
      {33, 33, 10}, {36, 36, 10}, {38, 38, 10}, {113, 113, 10}, {122, 122, 10},
      {0, 0, 11}, {60, 60, 11}, {63, 63, 11}, {74, 74, 11}, {81, 81, 11}, {90, 90, 11},
      {92, 92, 11}, {106, 106, 11}, {123, 124, 11},
      {1, 8, 12}, {11, 12, 12}, {14, 25, 12}, {27, 31, 12}, {35, 35, 12}, {37, 37, 12},
      {59, 59, 12}, {64, 64, 12}, {94, 94, 12}, {96, 96, 12}, {125, 127, 12}, {176, 223, 12},
      {225, 225, 12}, {229, 229, 12}, {233, 233, 12}, {238, 238, 12}, {242, 244, 12},
  };
  for (const Range& range : kRanges) {
    for (int value = range.first; value <= range.last; ++value) lengths[value] = range.length;
  }
  return lengths;
}
constexpr std::array<uint8_t, kLiteralSymbolCount> kLiteralCodeLength = makeLiteralCodeLengths();

// A code as the encoder writes it: `bits` already in stream order (first bit lowest).
struct StreamCode {
  uint16_t bits;
  uint8_t length;
};

constexpr uint32_t reverseBits(uint32_t value, int count) {
  uint32_t reversed = 0;
  for (int i = 0; i < count; ++i) reversed |= ((value >> i) & 1u) << (count - 1 - i);
  return reversed;
}

// Canonical codes from code lengths, complemented, reversed into stream order.
template <size_t N>
constexpr std::array<StreamCode, N> makeStreamCodes(const std::array<uint8_t, N>& lengths) {
  constexpr int kMaxLength = 16;
  int countOfLength[kMaxLength + 1] = {};
  for (uint8_t length : lengths) ++countOfLength[length];
  uint32_t nextCode[kMaxLength + 1] = {};
  uint32_t code = 0;
  for (int length = 1; length <= kMaxLength; ++length) {
    code = (code + countOfLength[length - 1]) << 1;
    nextCode[length] = code;
  }
  std::array<StreamCode, N> codes{};
  for (size_t symbol = 0; symbol < N; ++symbol) {
    const int length = lengths[symbol];
    const uint32_t canonical = nextCode[length]++;
    const uint32_t complemented = ~canonical & ((1u << length) - 1);
    codes[symbol] = {static_cast<uint16_t>(reverseBits(complemented, length)),
                     static_cast<uint8_t>(length)};
  }
  return codes;
}

constexpr auto kLengthCode = makeStreamCodes(kLengthCodeLength);
constexpr auto kDistanceCode = makeStreamCodes(kDistanceCodeLength);
inline constexpr auto kLiteralCode = makeStreamCodes(kLiteralCodeLength);

// Decode table entry: the symbol and the number of bits its code takes.
struct DecodeEntry {
  uint8_t symbol;
  uint8_t length;
};

// Every index whose low `length` bits equal a symbol's stream-order code maps to it.
template <size_t TableBits, size_t N>
constexpr std::array<DecodeEntry, (size_t{1} << TableBits)> makeDecodeTable(
    const std::array<StreamCode, N>& codes) {
  std::array<DecodeEntry, (size_t{1} << TableBits)> table{};
  for (size_t symbol = 0; symbol < N; ++symbol) {
    const StreamCode code = codes[symbol];
    for (size_t high = 0; high < (size_t{1} << (TableBits - code.length)); ++high) {
      table[code.bits | (high << code.length)] = {static_cast<uint8_t>(symbol), code.length};
    }
  }
  return table;
}

inline constexpr auto kDistanceDecode = makeDecodeTable<kDistanceCodeBits>(kDistanceCode);

// The length-code symbol of a copy length (2..519), for the encoder.
constexpr int lengthSymbolOf(uint32_t length) {
  int symbol = kLengthSymbolCount - 1;
  while (kLengthBase[symbol] > length) --symbol;
  return symbol;
}

// Kraft sums of exactly one: the codes leave no bit pattern undecodable.
template <size_t N>
constexpr bool isComplete(const std::array<uint8_t, N>& lengths) {
  uint32_t sum = 0;
  for (uint8_t length : lengths) sum += 1u << (16 - length);
  return sum == (1u << 16);
}
static_assert(isComplete(kLengthCodeLength));
static_assert(isComplete(kDistanceCodeLength));
static_assert(isComplete(kLiteralCodeLength));
static_assert(kLengthBase[15] + (1u << kLengthExtraBits[15]) - 1 == kEndLength);

} // namespace pq::implode
