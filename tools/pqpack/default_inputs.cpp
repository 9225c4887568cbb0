#include "default_inputs.h"

#include <filesystem>
#include <system_error>

namespace pqpack {

namespace {

// How many folders above pqpack's own are searched for dist/win32/: enough to reach the
// project from build/<preset>/tools/pqpack/.
constexpr int kFoldersAbove = 4;

std::filesystem::path ownFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
}

} // namespace

std::vector<std::string> defaultInputCandidates(const std::string& fileName) {
  std::vector<std::string> candidates;
  std::filesystem::path folder = ownFolder();
  if (!folder.empty()) {
    candidates.push_back((folder / fileName).string());
    candidates.push_back((folder / "win32" / fileName).string());
    for (int level = 0; level <= kFoldersAbove && !folder.empty(); ++level) {
      candidates.push_back((folder / "dist" / "win32" / fileName).string());
      if (folder == folder.parent_path()) break;
      folder = folder.parent_path();
    }
  }
  candidates.push_back((std::filesystem::path("dist") / "win32" / fileName).string());
  return candidates;
}

std::string findDefaultInput(const std::string& fileName) {
  for (const std::string& candidate : defaultInputCandidates(fileName)) {
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate;
  }
  return "";
}

} // namespace pqpack
