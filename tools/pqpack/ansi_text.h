// Entry names are ANSI text: Windows code page 1252 bytes, which the installer shows in its
// window and passes to the ANSI Windows calls as they stand. pqpack itself works in UTF-8 (its
// arguments, paths and output); these conversions stand between the two.
#pragma once

#include <cstdint>
#include <string>

namespace pqpack {

// `utf8` as code page 1252 bytes. False when it is not valid UTF-8, or holds a character that
// code page 1252 has no place for; `offending` is then set to that character (UTF-8) or to
// the bytes that are not UTF-8.
bool utf8ToWindows1252(const std::string& utf8, std::string* ansi, std::string* offending);
// Code page 1252 bytes as UTF-8. The five bytes the code page leaves undefined read as the
// control characters of the same number, as Windows reads them.
std::string windows1252ToUtf8(const std::string& ansi);
// Appends the character numbered `character` to `text` in UTF-8.
void appendUtf8(uint32_t character, std::string* text);
// Decodes the UTF-8 character at `*at` of `text`, advancing past it; false, leaving `*at`
// alone, for bytes that are not UTF-8 (overlong forms, surrogates and values beyond U+10FFFF
// included).
bool nextUtf8Character(const std::string& text, size_t* at, uint32_t* character);
// True when `text` is valid UTF-8 (plain ASCII is).
bool isUtf8(const std::string& text);
// `utf8` with each letter that is followed by a separate accent (a combining character, as
// macOS spells "É" in file names: "E" and U+0301) written as the one accented letter code page
// 1252 has for the pair. Anything else, invalid UTF-8 included, stays as it is.
std::string composeAccents(const std::string& utf8);
// True for a combining accent (U+0300 to U+036F), which no letter of code page 1252 is.
bool isCombiningAccent(uint32_t character);
// The first character of `utf8`, or 0xFFFFFFFF when it starts with no UTF-8 character.
uint32_t firstCharacter(const std::string& utf8);

// A stored name as messages show it.
inline std::string displayName(const std::string& ansi) { return windows1252ToUtf8(ansi); }

} // namespace pqpack
