// What pqpack prints for people: names from installers are shown, never obeyed by the terminal.
#include <gtest/gtest.h>

#include <string>

#include "console_text.h"

namespace {

TEST(PqpackConsoleText, CharactersATerminalWouldActOnAreShownAsEscapes) {
  struct Case {
    const char* label;
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"plain text and backslashes stay", "C:\\out\\Sunset.scr", "C:\\out\\Sunset.scr"},
      {"accents stay", "\xC3\x89" "cran \xE2\x82\xAC.scr", "\xC3\x89" "cran \xE2\x82\xAC.scr"},
      {"escape sequence", "\x1B[2J\x1B]0;owned\x07.scr", "\\x1B[2J\\x1B]0;owned\\x07.scr"},
      {"line breaks and tabs", "a\r\nb\tc", "a\\x0D\\x0Ab\\x09c"},
      {"NUL and DEL", std::string("a\0b\x7F", 4), "a\\x00b\\x7F"},
      {"C1 control: CSI", "a\xC2\x9B" "2J", "a\\u009B2J"},
      {"right-to-left override", "evil\xE2\x80\xAE" "rcs.exe", "evil\\u202Ercs.exe"},
      {"isolates", "\xE2\x81\xA6x\xE2\x81\xA9", "\\u2066x\\u2069"},
      {"bytes that are not UTF-8", "\xFF\xC3(", "\\xFF\\xC3("},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.label);
    EXPECT_EQ(pqpack::printableText(test.text), test.shown);
  }
}

} // namespace
