#include "platform/win_path.h"

#include <array>
#include <cstddef>

namespace pq {

namespace {

constexpr std::string::size_type kNotFound = std::string::npos;

// Index of the last character of `path` that is one of `delimiters`, or npos.
std::string::size_type lastDelimiter(const std::string& path, const char* delimiters) {
  return path.find_last_of(delimiters);
}

// Index of the dot that starts the extension, or npos when the path has none: the last of
// '.', '\' and ':' must be the dot, so that "dir.d\name" has no extension.
std::string::size_type extensionStart(const std::string& path) {
  std::string::size_type last = lastDelimiter(path, ".\\:");
  if (last == kNotFound || path[last] != '.') return kNotFound;
  return last;
}

char asciiLowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isControlOrBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

// The longest name a file system entry may have on the systems the installer targets.
constexpr std::size_t kMaxEntryNameLength = 255;

bool isReservedDeviceName(const std::string& name) {
  // Windows maps these names to devices in every directory and whatever the extension, so
  // "con.txt" or "NUL .dat" open a device instead of a file.
  std::string stem = name.substr(0, name.find('.'));
  stem = asciiLower(stem);
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const std::array<const char*, 4> kPlainDevices = {"con", "prn", "aux", "nul"};
  for (const char* device : kPlainDevices) {
    if (stem == device) return true;
  }
  if (stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
      stem[3] >= '1' && stem[3] <= '9') {
    return true;
  }
  return false;
}

} // namespace

std::string extractFileExt(const std::string& path) {
  std::string::size_type dot = extensionStart(path);
  return dot == kNotFound ? std::string() : path.substr(dot);
}

std::string changeFileExt(const std::string& path, const std::string& extension) {
  std::string::size_type dot = extensionStart(path);
  return (dot == kNotFound ? path : path.substr(0, dot)) + extension;
}

std::string extractFilePath(const std::string& path) {
  std::string::size_type last = lastDelimiter(path, "\\:");
  return last == kNotFound ? std::string() : path.substr(0, last + 1);
}

std::string extractFileName(const std::string& path) {
  std::string::size_type last = lastDelimiter(path, "\\:");
  return last == kNotFound ? path : path.substr(last + 1);
}

std::string includeTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path;
  return path + '\\';
}

std::string asciiLower(const std::string& text) {
  std::string lowered = text;
  for (char& c : lowered) c = asciiLowerChar(c);
  return lowered;
}

std::string trimTrailingControl(const std::string& text) {
  std::string::size_type end = text.size();
  while (end > 0 && isControlOrBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

std::string normalizedExtension(const std::string& name) {
  return trimTrailingControl(asciiLower(extractFileExt(name)));
}

bool pathsEqual(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::string::size_type i = 0; i < a.size(); ++i) {
    if (asciiLowerChar(a[i]) != asciiLowerChar(b[i])) return false;
  }
  return true;
}

std::string createdFileName(const std::string& name) {
  const std::string asCString = name.substr(0, name.find('\0'));
  std::string::size_type end = asCString.size();
  while (end > 0 && (isControlOrBlank(asCString[end - 1]) || asCString[end - 1] == '.')) --end;
  return asCString.substr(0, end);
}

bool isSafeEntryName(const std::string& name) {
  if (name.size() > kMaxEntryNameLength) return false;
  // Nothing may be left once the tail goes: "", "." and ".." name the folder or its parent.
  const std::string created = createdFileName(name);
  if (created.empty()) return false;
  for (char c : trimTrailingControl(name)) {
    if (static_cast<unsigned char>(c) < 32) return false;
  }
  if (name.find_first_of("\\/:<>\"|?*") != kNotFound) return false;
  return !isReservedDeviceName(created);
}

} // namespace pq
