#include "system/numbered_files.h"

#include "platform/win_path.h"
#include "system/file_removal.h"

bool isNumberedName(const std::string& name, const NumberedName& kind) {
  const std::string lower = pq::asciiLower(name);
  const std::string prefix = pq::asciiLower(kind.prefix);
  const std::string suffix = pq::asciiLower(kind.suffix);
  if (lower.size() <= prefix.size() + suffix.size()) return false;
  if (lower.compare(0, prefix.size(), prefix) != 0) return false;
  if (lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
  const std::string number = lower.substr(prefix.size(), lower.size() - prefix.size() - suffix.size());
  if (number[0] == '0') return false;
  return number.find_first_not_of("0123456789") == std::string::npos;
}

std::string numberedPath(const std::string& folder, const NumberedName& kind, int number) {
  return folder + kind.prefix + std::to_string(number) + kind.suffix;
}

std::string firstFreeNumberedPath(const std::string& folder, const NumberedName& kind, const std::string& taken) {
  int number = 1;
  std::string path = numberedPath(folder, kind, number);
  while (fileExists(path) || pq::pathsEqual(path, taken)) path = numberedPath(folder, kind, ++number);
  return path;
}

std::vector<pq::FoundFile> numberedFiles(const std::string& folder, const NumberedName& kind) {
  std::vector<pq::FoundFile> found;
  // The search also matches 8.3 aliases and longer names; only our own names count.
  if (!pq::os().findFiles(folder + kind.prefix + "*" + kind.suffix, &found)) return {};
  std::vector<pq::FoundFile> files;
  for (const pq::FoundFile& file : found) {
    if ((file.attributes & pq::kFileAttributeDirectory) == 0 && isNumberedName(file.name, kind)) files.push_back(file);
  }
  return files;
}
