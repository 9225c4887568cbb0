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

namespace {

// The pairs of a letter and a combining accent that code page 1252 has one letter for. The
// lower-case letters of the first rows are the upper-case ones plus 0x20, both the base and
// the result.
struct Composition {
  char base;
  uint16_t accent;
  uint16_t letter;
};
constexpr uint16_t kGrave = 0x300, kAcute = 0x301, kCircumflex = 0x302, kTilde = 0x303, kDiaeresis = 0x308,
                   kRing = 0x30A, kCaron = 0x30C, kCedilla = 0x327;
constexpr Composition kUpperCase[] = {
    {'A', kGrave, 0xC0}, {'A', kAcute, 0xC1},     {'A', kCircumflex, 0xC2}, {'A', kTilde, 0xC3},
    {'A', kDiaeresis, 0xC4}, {'A', kRing, 0xC5},  {'C', kCedilla, 0xC7},    {'E', kGrave, 0xC8},
    {'E', kAcute, 0xC9}, {'E', kCircumflex, 0xCA}, {'E', kDiaeresis, 0xCB}, {'I', kGrave, 0xCC},
    {'I', kAcute, 0xCD}, {'I', kCircumflex, 0xCE}, {'I', kDiaeresis, 0xCF}, {'N', kTilde, 0xD1},
    {'O', kGrave, 0xD2}, {'O', kAcute, 0xD3},     {'O', kCircumflex, 0xD4}, {'O', kTilde, 0xD5},
    {'O', kDiaeresis, 0xD6}, {'U', kGrave, 0xD9}, {'U', kAcute, 0xDA},      {'U', kCircumflex, 0xDB},
    {'U', kDiaeresis, 0xDC}, {'Y', kAcute, 0xDD}};
constexpr Composition kOthers[] = {{'y', kDiaeresis, 0xFF}, {'Y', kDiaeresis, 0x178}, {'S', kCaron, 0x160},
                                   {'s', kCaron, 0x161},    {'Z', kCaron, 0x17D},     {'z', kCaron, 0x17E}};

// The one letter for `base` followed by `accent`, or 0 when code page 1252 has none.
uint32_t composed(uint32_t base, uint32_t accent) {
  for (const Composition& pair : kUpperCase) {
    if (pair.accent != accent) continue;
    if (base == static_cast<uint32_t>(pair.base)) return pair.letter;
    if (base == static_cast<uint32_t>(pair.base) + 0x20) return pair.letter + 0x20u;
  }
  for (const Composition& pair : kOthers) {
    if (pair.accent == accent && base == static_cast<uint32_t>(pair.base)) return pair.letter;
  }
  return 0;
}

} // namespace

bool isCombiningAccent(uint32_t character) { return character >= 0x300 && character <= 0x36F; }

uint32_t firstCharacter(const std::string& utf8) {
  size_t at = 0;
  uint32_t character = 0;
  return !utf8.empty() && nextUtf8Character(utf8, &at, &character) ? character : 0xFFFFFFFFu;
}

std::string composeAccents(const std::string& utf8) {
  if (!isUtf8(utf8)) return utf8;
  std::string text;
  size_t at = 0;
  uint32_t pending = 0;  // a letter that the next character may accent
  bool hasPending = false;
  while (at < utf8.size()) {
    uint32_t character = 0;
    nextUtf8Character(utf8, &at, &character);
    if (hasPending) {
      const uint32_t letter = composed(pending, character);
      hasPending = false;
      if (letter != 0) {
        appendUtf8(letter, &text);
        continue;
      }
      appendUtf8(pending, &text);
    }
    if (character < 0x80) {
      pending = character;
      hasPending = true;
    } else {
      appendUtf8(character, &text);
    }
  }
  if (hasPending) appendUtf8(pending, &text);
  return text;
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
