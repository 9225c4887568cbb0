// What pqpack prints for people, one line at a time. Names come from files an author was
// handed and from installers anyone can craft: a control character or an escape sequence in
// one must be shown, never obeyed by the terminal (moving the cursor, rewriting the line,
// turning the text around). JSON needs none of this: its encoder escapes them itself.
#pragma once

#include <cstdio>
#include <string>

namespace pqpack {

// `text` with every character a terminal would act on instead of showing written as an
// escape: bytes 0x00 to 0x1F and 0x7F, and bytes that are not UTF-8, as \xNN; the C1 controls
// U+0080 to U+009F and the bidirectional controls (U+200E, U+200F, U+202A to U+202E, U+2066
// to U+2069) as \uNNNN. Everything else is kept as it is, backslashes included.
std::string printableText(const std::string& text);

// Writes printableText(text) and a line break.
void printLine(std::FILE* stream, const std::string& text);

// True when `stream` is a terminal (not a pipe or a file): only there does pqpack show what
// is meant for a person watching, such as a build's progress.
bool isTerminal(std::FILE* stream);

} // namespace pqpack
