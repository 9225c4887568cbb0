#include "console_text.h"

#include <cstdint>

#include "ansi_text.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace pqpack {

namespace {

bool isShownAsEscape(uint32_t character) {
  return (character >= 0x80 && character <= 0x9F) || character == 0x200E || character == 0x200F ||
         (character >= 0x202A && character <= 0x202E) || (character >= 0x2066 && character <= 0x2069);
}

void appendEscape(const char* format, unsigned value, std::string* text) {
  char escape[8];
  std::snprintf(escape, sizeof escape, format, value);
  *text += escape;
}

} // namespace

std::string printableText(const std::string& text) {
  std::string shown;
  size_t at = 0;
  while (at < text.size()) {
    const size_t start = at;
    uint32_t character = 0;
    if (!nextUtf8Character(text, &at, &character)) {
      appendEscape("\\x%02X", static_cast<uint8_t>(text[start]), &shown);
      at = start + 1;
    } else if (character < 0x20 || character == 0x7F) {
      appendEscape("\\x%02X", character, &shown);
    } else if (isShownAsEscape(character)) {
      appendEscape("\\u%04X", character, &shown);
    } else {
      shown.append(text, start, at - start);
    }
  }
  return shown;
}

void printLine(std::FILE* stream, const std::string& text) {
  const std::string line = printableText(text) + "\n";
  std::fputs(line.c_str(), stream);
}

bool isTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

} // namespace pqpack
