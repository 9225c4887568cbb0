// A letter and its separate accent, as macOS writes names, become the one letter of code page
// 1252; what has no such letter stays as it is.
#include "ansi_text.h"

#include <gtest/gtest.h>

namespace {

TEST(AnsiText, ALetterAndItsSeparateAccentBecomeOneLetter) {
  const char* const cases[][2] = {
      {"E\xCC\x81" "c\xCC\xA7", "\xC3\x89\xC3\xA7"},      // É ç: upper case and lower case
      {"y\xCC\x88" "S\xCC\x8C", "\xC3\xBF\xC5\xA0"},      // ÿ Š: outside Latin-1
      {"x\xCC\x81" "\xCC\x81", "x\xCC\x81" "\xCC\x81"},   // no x with an acute; an accent alone
      {"E\xCC", "E\xCC"},                                 // not UTF-8: left for the conversion
  };
  for (const auto& c : cases) EXPECT_EQ(pqpack::composeAccents(c[0]), c[1]) << c[0];
}

} // namespace
