// Windows paths onto the host tree: drive C:, either separator, case-blind lookup that also
// accepts 8.3 aliases, and the trailing dots and blanks that Win32 drops from a component.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/sim/sim_state.h"

namespace pq {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Win32 removes trailing periods and blanks from every component before it looks it up.
std::string withoutTrailingDotsAndBlanks(const std::string& component) {
  size_t end = component.size();
  while (end > 0 && (component[end - 1] == '.' || component[end - 1] == ' ')) --end;
  return component.substr(0, end);
}

} // namespace

uint32_t sim::ResolvedPath::missingError() const {
  return parentExists() ? kWinErrorFileNotFound : kWinErrorPathNotFound;
}

std::optional<std::string> SimOs::State::findEntry(const std::filesystem::path& folder, const std::string& name) {
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return std::nullopt;
  const std::string wanted = asciiLower(name);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  for (const std::string& stored : names)
    if (asciiLower(stored) == wanted) return stored;
  assignAliases(folder);
  const auto folderAliases = aliases.find(key(folder));
  if (folderAliases == aliases.end()) return std::nullopt;
  for (const auto& [longLower, alias] : folderAliases->second) {
    if (asciiLower(alias) != wanted) continue;
    for (const std::string& stored : names)
      if (asciiLower(stored) == longLower) return stored;
  }
  return std::nullopt;
}

sim::ResolvedPath SimOs::State::resolve(const std::string& windowsPath) {
  sim::ResolvedPath resolved;
  if (windowsPath.size() < 3 || (windowsPath[0] != 'C' && windowsPath[0] != 'c') || windowsPath[1] != ':' ||
      !isSeparator(windowsPath[2]))
    return resolved;
  resolved.onDriveC = true;
  resolved.drive = windowsPath.substr(0, 2);
  resolved.trailingSeparator = isSeparator(windowsPath.back());
  std::string current;
  for (size_t i = 3; i <= windowsPath.size(); ++i) {
    if (i < windowsPath.size() && !isSeparator(windowsPath[i])) {
      current += windowsPath[i];
      continue;
    }
    const std::string component = current == "." || current == ".." ? current : withoutTrailingDotsAndBlanks(current);
    current.clear();
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (!resolved.components.empty()) resolved.components.pop_back();
      continue;
    }
    resolved.components.push_back(component);
  }
  resolved.host = root;
  bool stillExisting = true;
  for (const std::string& component : resolved.components) {
    std::optional<std::string> stored;
    if (stillExisting) stored = findEntry(resolved.host, component);
    if (stored) {
      ++resolved.existingDepth;
    } else {
      stillExisting = false;
    }
    resolved.storedNames.push_back(stored ? *stored : component);
    resolved.host /= resolved.storedNames.back();
  }
  return resolved;
}

void SimOs::State::forgetFile(const std::filesystem::path& host) {
  attributes.erase(key(host));
  times.erase(key(host));
  locks.erase(key(host));
  auto folderAliases = aliases.find(key(host.parent_path()));
  if (folderAliases != aliases.end()) folderAliases->second.erase(asciiLower(host.filename().string()));
}

uint32_t SimOs::State::attributesOf(const std::filesystem::path& host) const {
  std::error_code error;
  if (std::filesystem::is_directory(host, error)) return kFileAttributeDirectory;
  const auto found = attributes.find(key(host));
  return found == attributes.end() ? kFileAttributeArchive : found->second;
}

sim::FileTimes SimOs::State::timesOf(const std::filesystem::path& host) const {
  const auto found = times.find(key(host));
  return found == times.end() ? sim::FileTimes{clock, clock} : found->second;
}

void SimOs::State::stampWritten(const std::filesystem::path& host) {
  sim::FileTimes stamped = timesOf(host);
  stamped.lastWrite = clock;
  times[key(host)] = stamped;
}

bool SimOs::State::anyOpenHandle(const std::filesystem::path& host) const {
  return locked(host) || openHandles.count(key(host)) != 0;
}

bool SimOs::State::sharingConflict(const std::filesystem::path& host, const sim::OpenHandle& wanted) const {
  if (locked(host)) return true;
  const auto [first, last] = openHandles.equal_range(key(host));
  for (auto it = first; it != last; ++it) {
    const sim::OpenHandle& open = *it->second;
    if (wanted.canRead && !open.sharesRead) return true;
    if (wanted.canWrite && !open.sharesWrite) return true;
    if (open.canRead && !wanted.sharesRead) return true;
    if (open.canWrite && !wanted.sharesWrite) return true;
  }
  return false;
}

std::optional<std::string> sim::readHostFile(const std::filesystem::path& host) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(host, error)) return std::nullopt;
  std::ifstream in(host, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  // One read of the whole file: a character-by-character copy made every test that copies an
  // installer (half a megabyte of program) slow in the Debug and sanitizer builds.
  const std::streamoff size = in.tellg();
  if (size < 0) return std::nullopt;
  std::string bytes(static_cast<size_t>(size), '\0');
  in.seekg(0);
  if (!in.read(bytes.data(), size)) return std::nullopt;
  return bytes;
}

bool sim::writeHostFile(const std::filesystem::path& host, const std::string& bytes) {
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// ---- Arranging and observing the machine ------------------------------------------------

std::optional<std::filesystem::path> SimOs::hostPath(const std::string& windowsPath) const {
  const sim::ResolvedPath resolved = internal->resolve(windowsPath);
  if (!resolved.onDriveC) return std::nullopt;
  return resolved.host;
}

void SimOs::makeDirectory(const std::string& windowsPath) {
  const sim::ResolvedPath resolved = internal->resolve(windowsPath);
  if (!resolved.onDriveC) return;
  std::filesystem::create_directories(resolved.host);
  for (std::filesystem::path folder = resolved.host; folder != internal->root && folder.has_parent_path();
       folder = folder.parent_path())
    internal->assignAliases(folder.parent_path());
}

void SimOs::putFile(const std::string& windowsPath, const std::string& bytes) {
  const sim::ResolvedPath resolved = internal->resolve(windowsPath);
  if (!resolved.onDriveC || resolved.components.empty()) return;
  makeDirectory(resolved.drive + "\\" + resolved.host.parent_path().lexically_relative(internal->root).string());
  // The folders may have just been created with the given case: resolve again for the name.
  const sim::ResolvedPath placed = internal->resolve(windowsPath);
  const bool existed = placed.exists();
  sim::writeHostFile(placed.host, bytes);
  if (existed) {
    internal->stampWritten(placed.host);
  } else {
    internal->stampCreated(placed.host);
  }
  internal->assignAliases(placed.host.parent_path());
}

std::optional<std::string> SimOs::fileContents(const std::string& windowsPath) const {
  const sim::ResolvedPath resolved = internal->resolve(windowsPath);
  if (!resolved.exists()) return std::nullopt;
  return sim::readHostFile(resolved.host);
}

bool SimOs::fileExistsAt(const std::string& windowsPath) const {
  const sim::ResolvedPath resolved = internal->resolve(windowsPath);
  std::error_code error;
  return resolved.exists() && !resolved.components.empty() && std::filesystem::is_regular_file(resolved.host, error);
}

bool SimOs::directoryExistsAt(const std::string& windowsPath) const {
  const sim::ResolvedPath resolved = internal->resolve(windowsPath);
  std::error_code error;
  return resolved.exists() && std::filesystem::is_directory(resolved.host, error);
}

std::map<std::string, std::string> SimOs::snapshot() const {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(rootFolder)) {
    if (!entry.is_regular_file()) continue;
    std::string relative = entry.path().lexically_relative(rootFolder).string();
    std::replace(relative.begin(), relative.end(), '/', '\\');
    files["C:\\" + relative] = sim::readHostFile(entry.path()).value_or(std::string());
  }
  return files;
}

} // namespace pq
