#include "default_inputs.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "file_io.h"

namespace pqpack {

const char kInstalledWindowsFiles[] = PQ_INSTALLED_WINDOWS_FILES;

namespace {

// How many folders above pqpack's own are searched for dist/win32/: enough to reach the
// project from build/<preset>/tools/pqpack/.
constexpr int kFoldersAbove = 4;

std::filesystem::path ownFolder() {
#ifdef _WIN32
  std::wstring self(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size()));
  if (length == 0 || length >= self.size()) return std::filesystem::path();
  self.resize(length);
  return std::filesystem::path(self).parent_path();
#else
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
#endif
}

} // namespace

std::vector<std::string> defaultInputCandidates(const std::string& fileName) {
  std::vector<std::string> candidates;
  std::filesystem::path folder = ownFolder();
  if (!folder.empty()) {
    candidates.push_back(textOf(folder / fileName));
    candidates.push_back(textOf(folder / "win32" / fileName));
    candidates.push_back(textOf((folder / pathOf(kInstalledWindowsFiles) / fileName).lexically_normal()));
    for (int level = 0; level <= kFoldersAbove && !folder.empty(); ++level) {
      candidates.push_back(textOf(folder / "dist" / "win32" / fileName));
      if (folder == folder.parent_path()) break;
      folder = folder.parent_path();
    }
  }
  candidates.push_back(textOf(std::filesystem::path("dist") / "win32" / fileName));
  return candidates;
}

std::string findDefaultInput(const std::string& fileName) {
  for (const std::string& candidate : defaultInputCandidates(fileName)) {
    std::error_code error;
    if (std::filesystem::is_regular_file(pathOf(candidate), error)) return candidate;
  }
  return "";
}

} // namespace pqpack
