#include "ansi_text.h"

#include <cstdint>

namespace pqpack {

namespace {

// The characters of bytes 0x80 to 0x9F; zero for the five the code page leaves undefined.
// Bytes 0xA0 to 0xFF are U+00A0 to U+00FF.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

bool nextUtf8Character(const std::string& text, size_t* at, uint32_t* character) {
  const auto byte = [&](size_t index) { return static_cast<uint8_t>(text[index]); };
  const uint8_t lead = byte(*at);
  int length = 0;
  uint32_t value = 0;
  uint32_t smallest = 0;
  if (lead < 0x80) {
    *character = lead;
    ++*at;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, smallest = 0x10000;
  } else {
    return false;
  }
  if (*at + length > text.size()) return false;
  for (int index = 1; index < length; ++index) {
    const uint8_t next = byte(*at + index);
    if ((next & 0xC0) != 0x80) return false;
    value = value << 6 | (next & 0x3F);
  }
  if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *character = value;
  *at += length;
  return true;
}

void appendUtf8(uint32_t character, std::string* text) {
  if (character < 0x80) {
    text->push_back(static_cast<char>(character));
  } else if (character < 0x800) {
    text->push_back(static_cast<char>(0xC0 | character >> 6));
    text->push_back(static_cast<char>(0x80 | (character & 0x3F)));
  } else if (character < 0x10000) {
    text->push_back(static_cast<char>(0xE0 | character >> 12));
    text->push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | (character & 0x3F)));
  } else {
    text->push_back(static_cast<char>(0xF0 | character >> 18));
    text->push_back(static_cast<char>(0x80 | ((character >> 12) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | (character & 0x3F)));
  }
}

bool utf8ToWindows1252(const std::string& utf8, std::string* ansi, std::string* offending) {
  ansi->clear();
  size_t at = 0;
  while (at < utf8.size()) {
    const size_t start = at;
    uint32_t character = 0;
    if (!nextUtf8Character(utf8, &at, &character)) {
      *offending = utf8.substr(start, 1);
      return false;
    }
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
      ansi->push_back(static_cast<char>(character));
      continue;
    }
    bool found = false;
    for (int index = 0; index < 32 && !found; ++index) {
      if (kHighControls[index] != 0 && kHighControls[index] == character) {
        ansi->push_back(static_cast<char>(0x80 + index));
        found = true;
      }
    }
    if (!found) {
      *offending = utf8.substr(start, at - start);
      return false;
    }
  }
  return true;
}

std::string windows1252ToUtf8(const std::string& ansi) {
  std::string text;
  for (const char c : ansi) {
    const auto byte = static_cast<uint8_t>(c);
    const uint32_t character = byte >= 0x80 && byte < 0xA0 && kHighControls[byte - 0x80] != 0
                                   ? kHighControls[byte - 0x80]
                                   : byte;
    appendUtf8(character, &text);
  }
  return text;
}

bool isUtf8(const std::string& text) {
  size_t at = 0;
  uint32_t character = 0;
  while (at < text.size()) {
    if (!nextUtf8Character(text, &at, &character)) return false;
  }
  return true;
}

} // namespace pqpack
