#include <gtest/gtest.h>

#include <string>

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
