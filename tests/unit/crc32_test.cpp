#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compression/implode.h"

TEST(Crc32, AbcHasTheStandardValue) {
  const std::string text = "abc";
  EXPECT_EQ(pq::crc32Of(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 0x352441C2u);
}

TEST(Crc32, EntryPointReadsTheRunningValueAndReturnsTheUpdate) {
  char bytes[] = "abc";
  uint32_t crc = 0xFFFFFFFFu;
  uint32_t one = 1;
  crc = pq_crc32(bytes, &one, &crc);
  uint32_t two = 2;
  const uint32_t before = crc;
  crc = pq_crc32(bytes + 1, &two, &crc);
  EXPECT_NE(crc, before);
  EXPECT_EQ(~crc, 0x352441C2u);
  EXPECT_EQ(two, 2u);
}

TEST(Crc32, EmptyInputLeavesTheValueUnchanged) {
  uint32_t zero = 0;
  uint32_t crc = 0x12345678u;
  EXPECT_EQ(pq_crc32(nullptr, &zero, &crc), 0x12345678u);
  EXPECT_EQ(pq::crc32Of(nullptr, 0), 0u);
}

TEST(Crc32, CheckValueOfTheNineDigits) {
  const std::string digits = "123456789";
  EXPECT_EQ(pq::crc32Of(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0xCBF43926u);
}

// The byte-at-a-time definition, straight from the polynomial: the folding of four bytes at a
// time must agree with it for every length and every split into calls.
TEST(Crc32, AgreesWithTheBytewiseDefinitionForEveryLengthAndSplit) {
  auto reference = [](const uint8_t* bytes, size_t size, uint32_t crc) {
    for (size_t i = 0; i < size; ++i) {
      crc ^= bytes[i];
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return crc;
  };
  std::vector<uint8_t> bytes(70);
  uint32_t state = 12345;
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 16);
  for (size_t length = 0; length <= bytes.size(); ++length) {
    for (size_t split = 0; split <= length; split += 3) {
      uint32_t first = static_cast<uint32_t>(split), second = static_cast<uint32_t>(length - split);
      uint32_t crc = 0xFFFFFFFFu;
      crc = pq_crc32(reinterpret_cast<char*>(bytes.data()), &first, &crc);
      crc = pq_crc32(reinterpret_cast<char*>(bytes.data() + split), &second, &crc);
      EXPECT_EQ(crc, reference(bytes.data(), length, 0xFFFFFFFFu)) << "length " << length << ", split " << split;
    }
  }
}
