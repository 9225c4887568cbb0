// Windows path rules as pure functions, so that they are the same on every backend and can
// be tested on Linux with tables of inputs and outputs. Paths are ANSI strings with '\'.
#pragma once

#include <string>

namespace pq {

// The extension with its dot: the text from the last '.' to the end, provided no '\' or ':'
// follows that dot; empty otherwise. Case and trailing characters are kept as they stand.
std::string extractFileExt(const std::string& path);
// The path with its extension (as above) replaced by `extension`; appended when it has none.
std::string changeFileExt(const std::string& path, const std::string& extension);
// Everything up to and including the last '\' or ':'; empty when there is none.
std::string extractFilePath(const std::string& path);
// Everything after the last '\' or ':'.
std::string extractFileName(const std::string& path);
// `path` with a '\' appended unless it already ends in one. An empty path, a directory the
// system did not report, becomes "\" like any other that lacks the backslash.
std::string includeTrailingBackslash(const std::string& path);

// ASCII letters A-Z lower-cased, every other byte as it stands.
std::string asciiLower(const std::string& text);
// `text` without its trailing characters whose code is 0 to 32.
std::string trimTrailingControl(const std::string& text);
// The extension test of mode detection and the uninstall filter: extractFileExt, lower-cased,
// trailing characters of code 0 to 32 removed.
std::string normalizedExtension(const std::string& name);

// Case-blind comparison of two paths (ASCII letters only), as Windows compares file names.
bool pathsEqual(const std::string& a, const std::string& b);

// The name Windows gives a file created under `name`: what a C string holds of it (up to the
// first NUL), without its tail of blanks, dots and other characters of code 0 to 32. Windows
// itself drops trailing blanks and dots from a path's last component; a control character
// there it would refuse, and the extension test ignores it with the rest of the tail.
std::string createdFileName(const std::string& name);

// True for a bare file name that is safe to join to a directory: at most 255 characters, no
// '\', '/' or ':', none of <>"|?*, no character below 32 except in a tail of codes 0 to 32,
// a created name (above) that is not empty (".", "..", " ." name a directory) and not a
// reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension).
bool isSafeEntryName(const std::string& name);

} // namespace pq
