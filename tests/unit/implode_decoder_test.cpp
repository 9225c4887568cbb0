#include <gtest/gtest.h>

#include <random>
#include <string>

#include "compression/implode.h"
#include "support/implode_streams.h"

using pqtest::SteppingStreams;
using pqtest::StreamWriter;

namespace {

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// Three literals 'a' 'b' 'c' and the end code.
const std::vector<uint8_t> kThreeLiterals = {0x00, 0x06, 0xC2, 0x88, 0x19, 0x0B, 0xF8, 0x07};
// One literal 'a' and a copy of length 9 at distance 1: ten 'a'.
const std::vector<uint8_t> kOverlappingCopy = {0x00, 0x06, 0xC2, 0xD2, 0x81, 0x80, 0x7F};
// 'a' 'b', a length-2 copy at distance 2 (two low bits), a length-4 copy at distance 4.
const std::vector<uint8_t> kShortAndLongCopies = {0x00, 0x06, 0xC2, 0x88, 0xED, 0xCD, 0x43, 0xC0, 0x3F};
// The end code alone: only 4 bytes, refused before decoding.
const std::vector<uint8_t> kEndCodeAlone = {0x00, 0x06, 0x01, 0xFF};

SteppingStreams explodeWhole(const std::vector<uint8_t>& stream, uint32_t* result) {
  SteppingStreams streams;
  streams.input = stream;
  *result = streams.explode();
  return streams;
}

// A stream of `size` output bytes: literals and copies of every distance class, so that
// blocks fill in the middle of copies.
std::vector<uint8_t> mixedStream(size_t size, uint8_t literalMode = 0, uint8_t dictionaryByte = 6) {
  StreamWriter writer(literalMode, dictionaryByte);
  std::mt19937 random(777);
  const uint32_t maxDistance = 64u << dictionaryByte;
  size_t produced = 0;
  while (produced < size) {
    const size_t left = size - produced;
    if (produced < 2 || left < 2 || random() % 3 == 0) {
      writer.literal(static_cast<uint8_t>(random()));
      ++produced;
      continue;
    }
    uint32_t length = 2 + random() % 517;
    if (random() % 2) length = 2 + random() % 20;
    if (length > left) length = static_cast<uint32_t>(left);
    const uint32_t reach = static_cast<uint32_t>(std::min<size_t>(produced, length == 2 ? 256 : maxDistance));
    writer.copy(length, 1 + random() % reach);
    produced += length;
  }
  return writer.end().bytes();
}

} // namespace

TEST(ImplodeDecoderExamples, ThreeLiteralsExpandToAbc) {
  uint32_t result;
  SteppingStreams streams = explodeWhole(kThreeLiterals, &result);
  EXPECT_EQ(result, PQ_CMP_NO_ERROR);
  EXPECT_EQ(streams.output, bytesOf("abc"));
  EXPECT_EQ(streams.writeSizes, std::vector<uint32_t>{3});
}

TEST(ImplodeDecoderExamples, OverlappingCopyRepeatsTheLastByte) {
  uint32_t result;
  SteppingStreams streams = explodeWhole(kOverlappingCopy, &result);
  EXPECT_EQ(result, PQ_CMP_NO_ERROR);
  EXPECT_EQ(streams.output, std::vector<uint8_t>(10, 'a'));
}

TEST(ImplodeDecoderExamples, ShortCopyUsesTwoLowBitsAndLongCopyUsesTheDictionarysBits) {
  uint32_t result;
  SteppingStreams streams = explodeWhole(kShortAndLongCopies, &result);
  EXPECT_EQ(result, PQ_CMP_NO_ERROR);
  EXPECT_EQ(streams.output, bytesOf("abababab"));
}

TEST(ImplodeDecoderExamples, ExamplesDecodeTheSameWhenInputArrivesByteByByte) {
  for (const auto* stream : {&kThreeLiterals, &kOverlappingCopy, &kShortAndLongCopies}) {
    SteppingStreams whole;
    whole.input = *stream;
    ASSERT_EQ(whole.explode(), PQ_CMP_NO_ERROR);
    SteppingStreams stepped;
    stepped.input = *stream;
    stepped.firstRead = 5;
    stepped.maxPiece = 1;
    EXPECT_EQ(stepped.explode(), PQ_CMP_NO_ERROR);
    EXPECT_EQ(stepped.output, whole.output);
  }
}

TEST(ImplodeDecoderHeader, FourBytesOrFewerAreRefusedWithoutWriting) {
  uint32_t result;
  SteppingStreams streams = explodeWhole(kEndCodeAlone, &result);
  EXPECT_EQ(result, PQ_CMP_BAD_DATA);
  EXPECT_TRUE(streams.writeSizes.empty());
  for (size_t size = 0; size <= 4; ++size) {
    streams = explodeWhole(std::vector<uint8_t>(kThreeLiterals.begin(), kThreeLiterals.begin() + size), &result);
    EXPECT_EQ(result, PQ_CMP_BAD_DATA) << size;
    EXPECT_TRUE(streams.writeSizes.empty());
  }
}

TEST(ImplodeDecoderHeader, ShortFirstReadIsJudgedAloneEvenWhenMoreWouldFollow) {
  SteppingStreams streams;
  streams.input = kThreeLiterals;
  streams.firstRead = 4;
  EXPECT_EQ(streams.explode(), PQ_CMP_BAD_DATA);
  EXPECT_EQ(streams.readRequests.size(), 1u);
  EXPECT_TRUE(streams.writeSizes.empty());
}

TEST(ImplodeDecoderHeader, DictionaryByteIsCheckedBeforeTheLiteralMode) {
  struct Case {
    uint8_t literalMode, dictionaryByte;
    uint32_t expected;
  };
  const Case cases[] = {{0x02, 0x06, PQ_CMP_INVALID_MODE}, {0x00, 0x07, PQ_CMP_INVALID_DICTSIZE},
                        {0x02, 0x07, PQ_CMP_INVALID_DICTSIZE}, {0x00, 0x03, PQ_CMP_INVALID_DICTSIZE},
                        {0xFF, 0x04, PQ_CMP_INVALID_MODE},   {0x01, 0x00, PQ_CMP_INVALID_DICTSIZE}};
  for (const Case& fault : cases) {
    std::vector<uint8_t> stream = kThreeLiterals;
    stream[0] = fault.literalMode;
    stream[1] = fault.dictionaryByte;
    uint32_t result;
    SteppingStreams streams = explodeWhole(stream, &result);
    EXPECT_EQ(result, fault.expected) << int(fault.literalMode) << " " << int(fault.dictionaryByte);
    EXPECT_TRUE(streams.writeSizes.empty());
  }
}

TEST(ImplodeDecoderCallbacks, EveryReadAsksFor2048BytesAndNoneFollowsTheEndCode) {
  StreamWriter writer(0, 6);
  for (int i = 0; i < 6000; ++i) writer.literal(static_cast<uint8_t>(i * 13));
  const std::vector<uint8_t> stream = writer.end().bytes();
  ASSERT_EQ(stream.size(), 2u + (6000 * 9 + 16) / 8);
  uint32_t result;
  SteppingStreams streams = explodeWhole(stream, &result);
  EXPECT_EQ(result, PQ_CMP_NO_ERROR);
  for (uint32_t request : streams.readRequests) EXPECT_EQ(request, 2048u);
  // The end code sits in the last piece: no read after it, not even one that would say "end".
  EXPECT_EQ(streams.readRequests.size(), (stream.size() + 2047) / 2048);
}

TEST(ImplodeDecoderCallbacks, OutputComesInFullBlocksThenOneFinalCall) {
  struct Case {
    size_t size;
    std::vector<uint32_t> writes;
  };
  const Case cases[] = {{0, {0}},          {1, {1}},
                        {4095, {4095}},    {4096, {4096, 0}},
                        {4097, {4096, 1}}, {8192, {4096, 4096, 0}},
                        {12289, {4096, 4096, 4096, 1}}};
  for (const Case& c : cases) {
    std::vector<uint8_t> stream = mixedStream(c.size);
    // Empty output needs a padding byte after the end code to pass the size check.
    if (stream.size() <= 4) stream.push_back(0);
    uint32_t result;
    SteppingStreams streams = explodeWhole(stream, &result);
    EXPECT_EQ(result, PQ_CMP_NO_ERROR);
    EXPECT_EQ(streams.writeSizes, c.writes) << c.size;
    EXPECT_EQ(streams.output.size(), c.size);
  }
}

TEST(ImplodeDecoderCallbacks, ByteCountsDoNotDependOnHowTheInputIsCut) {
  for (uint8_t dictionaryByte : {4, 5, 6}) {
    for (uint8_t literalMode : {0, 1}) {
      const std::vector<uint8_t> stream = mixedStream(20000, literalMode, dictionaryByte);
      uint32_t result;
      SteppingStreams whole = explodeWhole(stream, &result);
      ASSERT_EQ(result, PQ_CMP_NO_ERROR);
      ASSERT_EQ(whole.output.size(), 20000u);
      for (uint32_t maxPiece : {1u, 3u, 9u, 700u}) {
        SteppingStreams stepped;
        stepped.input = stream;
        stepped.maxPiece = maxPiece;
        EXPECT_EQ(stepped.explode(), PQ_CMP_NO_ERROR);
        EXPECT_EQ(stepped.output, whole.output) << maxPiece;
        EXPECT_EQ(stepped.writeSizes, whole.writeSizes);
      }
    }
  }
}

TEST(ImplodeDecoderTruncation, StreamCutAtEveryByteGivesAbortAndAPrefix) {
  const std::vector<uint8_t> stream = mixedStream(9000);
  uint32_t result;
  const SteppingStreams whole = explodeWhole(stream, &result);
  ASSERT_EQ(result, PQ_CMP_NO_ERROR);
  size_t previousSize = 0;
  for (size_t cut = 5; cut < stream.size(); ++cut) {
    SteppingStreams streams;
    streams.input.assign(stream.begin(), stream.begin() + cut);
    streams.maxPiece = cut % 2 ? 0 : 5;
    ASSERT_EQ(streams.explode(), PQ_CMP_ABORT) << cut;
    // Cut inside the end code, everything has been decoded already.
    ASSERT_LE(streams.output.size(), whole.output.size());
    ASSERT_GE(streams.output.size(), previousSize);
    ASSERT_TRUE(std::equal(streams.output.begin(), streams.output.end(), whole.output.begin())) << cut;
    for (size_t i = 0; i + 1 < streams.writeSizes.size(); ++i) ASSERT_EQ(streams.writeSizes[i], 4096u);
    previousSize = streams.output.size();
  }
}

TEST(ImplodeDecoderTruncation, EndCodeIsAcceptedWhenTheInputEndsRightAfterIt) {
  // 'a' then the end code: 9 + 16 bits, so the last bit of the end code is the last of
  // byte 5 only when the header and padding line up; check both a tight and a padded end.
  const std::vector<uint8_t> tight = StreamWriter(0, 6).literal('a').literal('b').end().bytes();
  uint32_t result;
  SteppingStreams streams = explodeWhole(tight, &result);
  EXPECT_EQ(result, PQ_CMP_NO_ERROR);
  EXPECT_EQ(streams.output, bytesOf("ab"));
  std::vector<uint8_t> cutShort = tight;
  cutShort.pop_back();
  streams = explodeWhole(cutShort, &result);
  EXPECT_EQ(result, PQ_CMP_ABORT);
  EXPECT_EQ(streams.output, bytesOf("ab"));
}

TEST(ImplodeDecoderTruncation, BytesAfterTheEndCodeAreIgnored) {
  // In both literal modes: the end code met with plenty of input left.
  for (uint8_t literalMode : {0, 1}) {
    std::vector<uint8_t> stream = StreamWriter(literalMode, 6).literal('a').literal('b').literal('c').end().bytes();
    stream.insert(stream.end(), 5000, 0x5A);
    uint32_t result;
    SteppingStreams streams = explodeWhole(stream, &result);
    EXPECT_EQ(result, PQ_CMP_NO_ERROR);
    EXPECT_EQ(streams.output, bytesOf("abc")) << int(literalMode);
    EXPECT_EQ(streams.readRequests.size(), 1u);
  }
}

TEST(ImplodeDecoderCopies, LongestCopyAtDistanceOneRepeats518Times) {
  const auto stream = StreamWriter(0, 6).literal(0x7E).copy(518, 1).end().bytes();
  uint32_t result;
  SteppingStreams streams = explodeWhole(stream, &result);
  EXPECT_EQ(result, PQ_CMP_NO_ERROR);
  EXPECT_EQ(streams.output, std::vector<uint8_t>(519, 0x7E));
}

TEST(ImplodeDecoderCopies, OverlappingCopiesRepeatTheirPatternAtEveryShortDistance) {
  // Short distances are where wide moves would read bytes not yet written: each distance up
  // to 17 with lengths around the 8- and 16-byte steps, after a run of distinct bytes.
  for (uint32_t distance = 1; distance <= 17; ++distance) {
    StreamWriter writer(0, 6);
    std::vector<uint8_t> expected;
    for (uint32_t i = 0; i < 17; ++i) {
      writer.literal(static_cast<uint8_t>('A' + i));
      expected.push_back(static_cast<uint8_t>('A' + i));
    }
    for (uint32_t length : {2u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 24u, 25u, 518u}) {
      writer.copy(length, distance);
      for (uint32_t i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
    }
    uint32_t result;
    SteppingStreams streams = explodeWhole(writer.end().bytes(), &result);
    EXPECT_EQ(result, PQ_CMP_NO_ERROR);
    EXPECT_EQ(streams.output, expected) << distance;
  }
}

TEST(ImplodeDecoderCopies, EachDictionarySizeReachesExactlyItsSize) {
  for (uint8_t dictionaryByte : {4, 5, 6}) {
    const uint32_t dictionary = 64u << dictionaryByte;
    StreamWriter writer(0, dictionaryByte);
    std::vector<uint8_t> expected;
    for (uint32_t i = 0; i < dictionary; ++i) {
      writer.literal(static_cast<uint8_t>(i * 7 + i / 256));
      expected.push_back(static_cast<uint8_t>(i * 7 + i / 256));
    }
    writer.copy(3, dictionary).copy(2, 256);
    expected.insert(expected.end(), expected.end() - dictionary, expected.end() - dictionary + 3);
    expected.insert(expected.end(), expected.end() - 256, expected.end() - 254);
    uint32_t result;
    SteppingStreams streams = explodeWhole(writer.end().bytes(), &result);
    EXPECT_EQ(result, PQ_CMP_NO_ERROR);
    EXPECT_EQ(streams.output, expected) << int(dictionaryByte);
  }
}

TEST(ImplodeDecoderCopies, DistanceBeforeTheFirstByteReadsZerosNotAnEarlierStream) {
  // One work area for both streams, as the installer uses it.
  std::vector<char> workArea(PQ_EXPLODE_WORK_SIZE);
  SteppingStreams first;
  first.input = StreamWriter(0, 6).literal(0xAA).copy(518, 1).copy(518, 1).copy(518, 1).end().bytes();
  ASSERT_EQ(pq_explode(SteppingStreams::read, SteppingStreams::write, workArea.data(), &first), PQ_CMP_NO_ERROR);

  SteppingStreams second;
  second.input = StreamWriter(0, 6).literal('x').copy(4, 100).copy(5, 4096).end().bytes();
  ASSERT_EQ(pq_explode(SteppingStreams::read, SteppingStreams::write, workArea.data(), &second), PQ_CMP_NO_ERROR);
  std::vector<uint8_t> expected = {'x', 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(second.output, expected);
}

TEST(ImplodeDecoderLiterals, AsciiCodesOfSpaceAndByte255MatchTheirTables) {
  // Space is 1111; byte 255 is thirteen 0 bits. Flag bits 0 before each, then the end code.
  StreamWriter writer(1, 6);
  writer.raw(0, 1);
  writer.raw(0xF, 4);
  writer.raw(0, 1);
  writer.raw(0, 13);
  writer.end();
  uint32_t result;
  SteppingStreams streams = explodeWhole(writer.bytes(), &result);
  EXPECT_EQ(result, PQ_CMP_NO_ERROR);
  EXPECT_EQ(streams.output, (std::vector<uint8_t>{' ', 0xFF}));
}

TEST(ImplodeDecoderLiterals, EveryByteValueSurvivesBothLiteralModes) {
  for (uint8_t literalMode : {0, 1}) {
    StreamWriter writer(literalMode, 6);
    std::vector<uint8_t> expected;
    for (int round = 0; round < 20; ++round) {
      for (int value = 0; value < 256; ++value) {
        const uint8_t byte = static_cast<uint8_t>(value * 37 + round);
        writer.literal(byte);
        expected.push_back(byte);
      }
    }
    SteppingStreams streams;
    streams.input = writer.end().bytes();
    streams.maxPiece = 3;
    EXPECT_EQ(streams.explode(), PQ_CMP_NO_ERROR);
    EXPECT_EQ(streams.output, expected) << int(literalMode);
  }
}

TEST(ImplodeDecoderMemoryApi, ExplodeBufferReturnsTheResultAndEverythingDelivered) {
  std::vector<uint8_t> output = {1, 2, 3};
  EXPECT_EQ(pq::explodeBuffer(kThreeLiterals.data(), kThreeLiterals.size(), &output), PQ_CMP_NO_ERROR);
  EXPECT_EQ(output, bytesOf("abc"));
  EXPECT_EQ(pq::explodeBuffer(kThreeLiterals.data(), kThreeLiterals.size() - 1, &output), PQ_CMP_ABORT);
  EXPECT_EQ(output, bytesOf("abc"));
  EXPECT_EQ(pq::explodeBuffer(kEndCodeAlone.data(), kEndCodeAlone.size(), &output), PQ_CMP_BAD_DATA);
  EXPECT_TRUE(output.empty());
}
