// Finding, copying, deleting files and changing their attributes, with the errors Windows
// gives for missing paths, folders, read-only files and files held open elsewhere.
#include <algorithm>
#include <system_error>

#include "platform/sim/sim_state.h"

namespace pq {

namespace {

bool isDirectory(const std::filesystem::path& host) {
  std::error_code error;
  return std::filesystem::is_directory(host, error);
}

// What FindFirstFile reports for an existing entry.
FoundFile describe(const SimOs::State& state, const std::filesystem::path& host, const std::string& storedName) {
  FoundFile found;
  found.name = storedName;
  found.attributes = state.attributesOf(host);
  std::error_code error;
  found.size = isDirectory(host) ? 0 : std::filesystem::file_size(host, error);
  const sim::FileTimes times = state.timesOf(host);
  found.creationTime = times.creation;
  found.lastWriteTime = times.lastWrite;
  if ((found.attributes & ~kFileAttributeNormal) == 0) found.attributes = kFileAttributeNormal;
  return found;
}

// The file a copy or a move starts from: false, with the error Windows gives, when it is
// missing or a folder.
bool isFileToTransfer(SimOs& os, const sim::ResolvedPath& source) {
  if (!source.exists() || source.components.empty()) {
    os.setLastError(source.onDriveC ? source.missingError() : kWinErrorPathNotFound);
    return false;
  }
  if (isDirectory(source.host)) {
    os.setLastError(kWinErrorAccessDenied);
    return false;
  }
  return true;
}

// The new name of a copy or a move: false, with the error Windows gives, when its folder is
// missing or the name cannot be created.
bool isCreatableTarget(SimOs& os, const sim::ResolvedPath& target) {
  if (!target.onDriveC || target.components.empty() || target.trailingSeparator || !target.parentExists()) {
    os.setLastError(kWinErrorPathNotFound);
    return false;
  }
  if (!sim::isCreatableName(target.components.back())) {
    os.setLastError(kWinErrorInvalidName);
    return false;
  }
  return true;
}

} // namespace

bool SimOs::findFirstFile(const std::string& path, FoundFile* found) {
  if (enterCall("findFirstFile", path)) return false;
  const sim::ResolvedPath resolved = internal->resolve(path);
  // A trailing separator or the bare root names no entry to report.
  if (!resolved.exists() || resolved.components.empty() || resolved.trailingSeparator) {
    setLastError(resolved.onDriveC && resolved.exists() ? kWinErrorFileNotFound
                 : resolved.onDriveC                    ? resolved.missingError()
                                                        : kWinErrorPathNotFound);
    return false;
  }
  *found = describe(*internal, resolved.host, resolved.storedNames.back());
  return true;
}

bool SimOs::findFiles(const std::string& pattern, std::vector<FoundFile>* found) {
  found->clear();
  if (enterCall("findFiles", pattern)) return false;
  const size_t separator = pattern.find_last_of("\\/");
  const std::string folderPath = separator == std::string::npos ? std::string() : pattern.substr(0, separator + 1);
  const std::string namePattern = pattern.substr(separator == std::string::npos ? 0 : separator + 1);
  const sim::ResolvedPath folder = internal->resolve(folderPath);
  if (!folder.exists() || !isDirectory(folder.host)) return failWith(kWinErrorPathNotFound);
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder.host, error)) {
    const std::string name = entry.path().filename().string();
    if (sim::matchesPattern(name, namePattern)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) found->push_back(describe(*internal, folder.host / name, name));
  if (found->empty()) return failWith(kWinErrorFileNotFound);
  return true;
}

bool SimOs::deleteFile(const std::string& path) {
  if (enterCall("deleteFile", path)) return false;
  const sim::ResolvedPath resolved = internal->resolve(path);
  if (!resolved.exists() || resolved.components.empty()) {
    setLastError(resolved.onDriveC ? resolved.missingError() : kWinErrorPathNotFound);
    return false;
  }
  if (isDirectory(resolved.host) || internal->readOnly(resolved.host)) return failWith(kWinErrorAccessDenied);
  if (internal->anyOpenHandle(resolved.host)) {
    const auto lock = internal->locks.find(State::key(resolved.host));
    if (lock != internal->locks.end()) {
      ++lock->second.failedDeletes;
      if (lock->second.releaseAfterFailedDeletes > 0 &&
          lock->second.failedDeletes >= lock->second.releaseAfterFailedDeletes)
        internal->locks.erase(lock);
    }
    setLastError(kWinErrorSharingViolation);
    return false;
  }
  std::error_code error;
  if (!std::filesystem::remove(resolved.host, error)) return failWith(kWinErrorAccessDenied);
  internal->forgetFile(resolved.host);
  return true;
}

bool SimOs::setFileAttributes(const std::string& path, uint32_t attributes) {
  if (enterCall("setFileAttributes", path)) return false;
  const sim::ResolvedPath resolved = internal->resolve(path);
  if (!resolved.exists() || resolved.components.empty()) {
    setLastError(resolved.onDriveC ? resolved.missingError() : kWinErrorPathNotFound);
    return false;
  }
  if (isDirectory(resolved.host)) return true; // folders keep only their directory bit here
  // FILE_ATTRIBUTE_NORMAL means "no other attribute"; it is never stored beside others.
  const uint32_t kept = attributes & (kFileAttributeReadOnly | kFileAttributeHidden | kFileAttributeSystem |
                                      kFileAttributeArchive);
  internal->attributes[State::key(resolved.host)] = kept;
  return true;
}

bool SimOs::copyFile(const std::string& existing, const std::string& newFile, bool failIfExists) {
  if (enterCall("copyFile", existing + " " + newFile)) return false;
  const sim::ResolvedPath source = internal->resolve(existing);
  if (!isFileToTransfer(*this, source)) return false;
  // CopyFile reads the source with read sharing only.
  if (internal->sharingConflict(source.host, sim::OpenHandle{true, false, true, false})) {
    setLastError(kWinErrorSharingViolation);
    return false;
  }
  const sim::ResolvedPath target = internal->resolve(newFile);
  if (!isCreatableTarget(*this, target)) return false;
  if (target.exists()) {
    if (failIfExists) return failWith(kWinErrorFileExists);
    // CopyFile holds the source open while it opens the target: a file onto itself collides.
    if (State::key(target.host) == State::key(source.host)) return failWith(kWinErrorSharingViolation);
    if (isDirectory(target.host) || internal->readOnly(target.host)) return failWith(kWinErrorAccessDenied);
    if (internal->anyOpenHandle(target.host)) return failWith(kWinErrorSharingViolation);
  }
  const std::optional<std::string> bytes = sim::readHostFile(source.host);
  if (!bytes || !sim::writeHostFile(target.host, *bytes)) return failWith(kWinErrorAccessDenied);
  // The copy carries the source's attributes and last-write time, as CopyFile does; it is
  // made now.
  internal->attributes[State::key(target.host)] = internal->attributesOf(source.host);
  internal->times[State::key(target.host)] = sim::FileTimes{internal->clock, internal->timesOf(source.host).lastWrite};
  internal->assignAliases(target.host.parent_path());
  return true;
}

bool SimOs::moveFileEx(const std::string& existing, const std::string& newName, uint32_t flags) {
  if (enterCall("moveFileEx", existing + " " + newName)) return false;
  const sim::ResolvedPath source = internal->resolve(existing);
  if (!isFileToTransfer(*this, source)) return false;
  // No handle here shares deletion, which renaming an open file needs.
  if (internal->anyOpenHandle(source.host)) return failWith(kWinErrorSharingViolation);
  const sim::ResolvedPath target = internal->resolve(newName);
  if (!isCreatableTarget(*this, target)) return false;
  const bool ontoItself = target.exists() && State::key(target.host) == State::key(source.host);
  if (target.exists() && !ontoItself) {
    if ((flags & kMoveFileReplaceExisting) == 0) return failWith(kWinErrorAlreadyExists);
    // A folder, a read-only file or one in use is not replaced.
    if (isDirectory(target.host) || internal->readOnly(target.host) || internal->anyOpenHandle(target.host)) {
      setLastError(kWinErrorAccessDenied);
      return false;
    }
  }
  // The file keeps its attributes and times under the name as given.
  const std::filesystem::path moved = target.host.parent_path() / target.components.back();
  const uint32_t attributes = internal->attributesOf(source.host);
  const sim::FileTimes times = internal->timesOf(source.host);
  std::error_code error;
  if (target.exists() && !ontoItself) {
    std::filesystem::remove(target.host, error);
    internal->forgetFile(target.host);
  }
  std::filesystem::rename(source.host, moved, error);
  if (error) return failWith(kWinErrorAccessDenied);
  internal->forgetFile(source.host);
  internal->attributes[State::key(moved)] = attributes;
  internal->times[State::key(moved)] = times;
  internal->assignAliases(source.host.parent_path());
  internal->assignAliases(moved.parent_path());
  return true;
}

bool sim::matchesPattern(const std::string& name, const std::string& pattern) {
  if (pattern.empty()) return name.empty();
  if (pattern[0] == '*') {
    for (size_t skipped = 0; skipped <= name.size(); ++skipped) {
      if (matchesPattern(name.substr(skipped), pattern.substr(1))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  const bool same = pattern[0] == '?' || asciiLower(name.substr(0, 1)) == asciiLower(pattern.substr(0, 1));
  return same && matchesPattern(name.substr(1), pattern.substr(1));
}

// ---- Arranging locks and attributes -----------------------------------------------------

void SimOs::lockFile(const std::string& windowsPath, int releaseAfterFailedDeletes) {
  const sim::ResolvedPath resolved = internal->resolve(windowsPath);
  if (!resolved.onDriveC) return;
  internal->locks[State::key(resolved.host)] = sim::LockState{releaseAfterFailedDeletes, 0};
}

void SimOs::unlockFile(const std::string& windowsPath) {
  const sim::ResolvedPath resolved = internal->resolve(windowsPath);
  if (resolved.onDriveC) internal->locks.erase(State::key(resolved.host));
}

void SimOs::setReadOnly(const std::string& windowsPath, bool readOnly) {
  const sim::ResolvedPath resolved = internal->resolve(windowsPath);
  if (!resolved.onDriveC) return;
  uint32_t attributes = internal->attributesOf(resolved.host);
  attributes = readOnly ? (attributes | kFileAttributeReadOnly) : (attributes & ~kFileAttributeReadOnly);
  internal->attributes[State::key(resolved.host)] = attributes;
}

bool SimOs::isReadOnly(const std::string& windowsPath) const {
  const sim::ResolvedPath resolved = internal->resolve(windowsPath);
  return resolved.exists() && internal->readOnly(resolved.host);
}

bool SimOs::fileOpenHere(const std::string& windowsPath) const {
  const sim::ResolvedPath resolved = internal->resolve(windowsPath);
  return resolved.exists() && internal->openHandles.count(State::key(resolved.host)) != 0;
}

} // namespace pq
