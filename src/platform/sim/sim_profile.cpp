// Profile (INI) files: sections and keys compared case-blind, a value replaced where it
// stands, a new key added at the end of its section, a new section at the end of the file.
// A file name without a folder lands in the Windows directory, as the API places it.
#include <system_error>

#include "platform/sim/sim_state.h"

namespace pq {

namespace {

std::string trimmed(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
  return text.substr(begin, end - begin);
}

// Lines with their own endings, so that untouched lines are written back byte for byte.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t newline = text.find('\n', start);
    const size_t end = newline == std::string::npos ? text.size() : newline + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::string withoutEnding(const std::string& line) {
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// The section name of a "[name]" line.
std::optional<std::string> sectionOf(const std::string& line) {
  const std::string text = trimmed(withoutEnding(line));
  if (text.empty() || text.front() != '[') return std::nullopt;
  const size_t close = text.find(']');
  return trimmed(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

std::optional<std::pair<std::string, std::string>> keyValueOf(const std::string& line) {
  const std::string text = withoutEnding(line);
  const size_t equals = text.find('=');
  if (equals == std::string::npos || sectionOf(line)) return std::nullopt;
  return std::make_pair(trimmed(text.substr(0, equals)), trimmed(text.substr(equals + 1)));
}

bool sameName(const std::string& a, const std::string& b) { return asciiLower(a) == asciiLower(b); }

struct KeyPosition {
  std::optional<size_t> sectionLine;
  std::optional<size_t> keyLine;
  size_t lastLineOfSection = 0; // the last non-blank line of the section
};

KeyPosition locate(const std::vector<std::string>& lines, const std::string& section, const std::string& key) {
  KeyPosition position;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::optional<std::string> name = sectionOf(lines[i]);
    if (position.sectionLine) {
      if (name) break;
      if (!trimmed(withoutEnding(lines[i])).empty()) position.lastLineOfSection = i;
      const auto pair = keyValueOf(lines[i]);
      if (pair && sameName(pair->first, key)) {
        position.keyLine = i;
        return position;
      }
    } else if (name && sameName(*name, section)) {
      position.sectionLine = i;
      position.lastLineOfSection = i;
    }
  }
  return position;
}

// GetPrivateProfileString drops one pair of matching quotes around a value.
std::string unquoted(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

std::string profilePath(const std::string& fileName) {
  if (fileName.find('\\') != std::string::npos || fileName.find('/') != std::string::npos) return fileName;
  return "C:\\WINDOWS\\" + fileName;
}

std::optional<std::string> lookUp(const std::string& text, const std::string& section, const std::string& key) {
  const std::vector<std::string> lines = splitLines(text);
  const KeyPosition position = locate(lines, section, key);
  if (!position.keyLine) return std::nullopt;
  return keyValueOf(lines[*position.keyLine])->second;
}

} // namespace

bool SimOs::writePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                                      const std::string& fileName) {
  if (enterCall("writePrivateProfileString", fileName + " [" + section + "] " + key + "=" + value)) return false;
  const sim::ResolvedPath resolved = internal->resolve(profilePath(fileName));
  if (!resolved.onDriveC || resolved.components.empty() || !resolved.parentExists()) {
    setLastError(kWinErrorPathNotFound);
    return false;
  }
  std::string text;
  if (resolved.exists()) {
    std::error_code error;
    if (std::filesystem::is_directory(resolved.host, error) || internal->readOnly(resolved.host)) {
      setLastError(kWinErrorAccessDenied);
      return false;
    }
    if (internal->anyOpenHandle(resolved.host)) return failWith(kWinErrorSharingViolation);
    text = sim::readHostFile(resolved.host).value_or(std::string());
  }
  std::vector<std::string> lines = splitLines(text);
  const KeyPosition position = locate(lines, section, key);
  const std::string entry = key + "=" + value + "\r\n";
  if (position.keyLine) {
    lines[*position.keyLine] = entry;
  } else if (position.sectionLine) {
    std::string& last = lines[position.lastLineOfSection];
    if (last.empty() || last.back() != '\n') last += "\r\n";
    lines.insert(lines.begin() + static_cast<long>(position.lastLineOfSection) + 1, entry);
  } else {
    if (!lines.empty() && lines.back().back() != '\n') lines.back() += "\r\n";
    lines.push_back("[" + section + "]\r\n");
    lines.push_back(entry);
  }
  std::string result;
  for (const std::string& line : lines) result += line;
  if (!sim::writeHostFile(resolved.host, result)) return failWith(kWinErrorAccessDenied);
  internal->assignAliases(resolved.host.parent_path());
  return true;
}

std::string SimOs::getPrivateProfileString(const std::string& section, const std::string& key,
                                           const std::string& defaultValue, uint32_t bufferChars,
                                           const std::string& fileName) {
  std::string value = trimmed(defaultValue);
  const bool injected = enterCall("getPrivateProfileString", fileName + " [" + section + "] " + key).has_value();
  if (!injected) {
    const sim::ResolvedPath resolved = internal->resolve(profilePath(fileName));
    const std::optional<std::string> text = resolved.exists() ? sim::readHostFile(resolved.host) : std::nullopt;
    const std::optional<std::string> found = text ? lookUp(*text, section, key) : std::nullopt;
    if (found) {
      value = unquoted(*found);
    } else {
      setLastError(kWinErrorFileNotFound);
    }
  }
  if (bufferChars == 0) return std::string();
  if (value.size() > bufferChars - 1) value.resize(bufferChars - 1);
  return value;
}

std::optional<std::string> SimOs::profileValue(const std::string& fileName, const std::string& section,
                                               const std::string& key) const {
  const sim::ResolvedPath resolved = internal->resolve(profilePath(fileName));
  if (!resolved.exists()) return std::nullopt;
  const std::optional<std::string> text = sim::readHostFile(resolved.host);
  if (!text) return std::nullopt;
  return lookUp(*text, section, key);
}

} // namespace pq
