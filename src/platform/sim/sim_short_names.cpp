// 8.3 short names: which names are already valid short names, the "LONGSA~1.SCR" aliases
// Windows generates for the others, and GetShortPathNameA built from them.
#include <algorithm>
#include <cstring>
#include <system_error>

#include "platform/sim/sim_state.h"

namespace pq {

namespace {

// Characters a long name may hold but an 8.3 name may not; the alias replaces them with '_'.
bool isLongOnlyCharacter(char c) { return std::strchr("+,;=[]", c) != nullptr; }

bool isForbiddenEverywhere(char c) {
  return static_cast<unsigned char>(c) < 32 || std::strchr("\"*/:<>?\\|", c) != nullptr;
}

bool isShortNameCharacter(char c) { return c != ' ' && c != '.' && !isLongOnlyCharacter(c) && !isForbiddenEverywhere(c); }

// The characters of one alias part: blanks and periods dropped, long-only characters as
// '_', ASCII letters upper-cased.
std::string aliasPart(const std::string& text) {
  std::string part;
  for (char c : text) {
    if (c == ' ' || c == '.') continue;
    if (isLongOnlyCharacter(c)) c = '_';
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    part += c;
  }
  return part;
}

} // namespace

bool sim::isValidShortName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  const size_t dot = name.find('.');
  const std::string base = name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3) return false;
  if (dot != std::string::npos && extension.empty()) return false;
  return std::all_of(base.begin(), base.end(), isShortNameCharacter) &&
         std::all_of(extension.begin(), extension.end(), isShortNameCharacter);
}

bool sim::isCreatableName(const std::string& name) {
  return !name.empty() && std::none_of(name.begin(), name.end(), isForbiddenEverywhere);
}

std::string sim::generatedAlias(const std::string& longName, int number) {
  size_t start = 0;
  while (start < longName.size() && longName[start] == '.') ++start; // leading periods go
  const std::string name = longName.substr(start);
  const size_t lastDot = name.rfind('.');
  std::string base = aliasPart(name.substr(0, lastDot));
  const std::string extension =
      lastDot == std::string::npos ? std::string() : aliasPart(name.substr(lastDot + 1)).substr(0, 3);
  if (base.empty()) base = "_";
  const std::string tail = "~" + std::to_string(number);
  base = base.substr(0, 8 - std::min<size_t>(tail.size(), 7));
  return base + tail + (extension.empty() ? std::string() : "." + extension);
}

void SimOs::State::assignAliases(const std::filesystem::path& folder) {
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::map<std::string, std::string>& folderAliases = aliases[key(folder)];
  // Entries removed behind the sim's back free their aliases, as a deletion does.
  for (auto it = folderAliases.begin(); it != folderAliases.end();) {
    const bool present = std::any_of(names.begin(), names.end(), [&](const std::string& stored) {
      return asciiLower(stored) == it->first;
    });
    it = present ? std::next(it) : folderAliases.erase(it);
  }
  for (const std::string& stored : names) {
    const std::string lower = asciiLower(stored);
    if (sim::isValidShortName(stored) || folderAliases.count(lower) != 0) continue;
    for (int number = 1;; ++number) {
      const std::string alias = sim::generatedAlias(stored, number);
      const std::string aliasLower = asciiLower(alias);
      const bool takenByAlias = std::any_of(folderAliases.begin(), folderAliases.end(), [&](const auto& pair) {
        return asciiLower(pair.second) == aliasLower;
      });
      const bool takenByName = std::any_of(names.begin(), names.end(), [&](const std::string& other) {
        return asciiLower(other) == aliasLower;
      });
      if (takenByAlias || takenByName) continue;
      folderAliases[lower] = alias;
      break;
    }
  }
}

std::string SimOs::State::aliasOf(const std::filesystem::path& folder, const std::string& storedName) {
  if (sim::isValidShortName(storedName)) return storedName;
  assignAliases(folder);
  const auto& folderAliases = aliases[key(folder)];
  const auto found = folderAliases.find(asciiLower(storedName));
  return found == folderAliases.end() ? storedName : found->second;
}

std::string SimOs::shortPathName(const std::string& path, uint32_t bufferChars) {
  if (enterCall("shortPathName", path)) return std::string();
  const sim::ResolvedPath resolved = internal->resolve(path);
  if (!resolved.onDriveC) {
    setLastError(kWinErrorPathNotFound);
    return std::string();
  }
  if (!resolved.exists()) {
    setLastError(resolved.missingError());
    return std::string();
  }
  std::string shortPath = resolved.drive + "\\";
  std::filesystem::path folder = internal->root;
  for (size_t i = 0; i < resolved.storedNames.size(); ++i) {
    if (i > 0) shortPath += "\\";
    shortPath += internal->aliasOf(folder, resolved.storedNames[i]);
    folder /= resolved.storedNames[i];
  }
  if (resolved.trailingSeparator && !resolved.storedNames.empty()) shortPath += "\\";
  // Too small a buffer: the API reports the size it needs and fills nothing.
  if (shortPath.size() + 1 > bufferChars) return std::string();
  return shortPath;
}

} // namespace pq
