// CreateFileA and the handle it returns: sharing between handles, read-only files, creation
// and truncation, and ReadFile/WriteFile/SetFilePointer on the host file behind it.
#include <fcntl.h>
#include <unistd.h>

#include <system_error>

#include "platform/sim/sim_state.h"

namespace pq {

namespace {

class SimFile : public OsFile {
public:
  SimFile(SimOs& os, std::string windowsPath, std::filesystem::path host, int descriptor, sim::OpenHandle handle,
          bool deleteOnClose)
      : os(os), windowsPath(std::move(windowsPath)), host(std::move(host)), descriptor(descriptor), handle(handle),
        deleteOnClose(deleteOnClose) {
    registration = os.state().openHandles.emplace(SimOs::State::key(this->host), &this->handle);
  }

  ~SimFile() override { release(); }

  bool read(void* buffer, uint32_t size, uint32_t* bytesRead) override {
    *bytesRead = 0;
    if (os.enterCall("read", windowsPath)) return false;
    if (!usable() || !handle.canRead) return fail(descriptor < 0 ? kWinErrorInvalidHandle : kWinErrorAccessDenied);
    uint32_t total = 0;
    while (total < size) {
      const ssize_t got = ::pread(descriptor, static_cast<char*>(buffer) + total, size - total, position + total);
      if (got < 0) return fail(kWinErrorAccessDenied);
      if (got == 0) break; // the end of the file: a short read that still succeeds
      total += static_cast<uint32_t>(got);
    }
    position += total;
    *bytesRead = total;
    return true;
  }

  bool write(const void* buffer, uint32_t size, uint32_t* bytesWritten) override {
    *bytesWritten = 0;
    if (os.enterCall("write", windowsPath)) return false;
    if (!usable() || !handle.canWrite) return fail(descriptor < 0 ? kWinErrorInvalidHandle : kWinErrorAccessDenied);
    uint32_t total = 0;
    while (total < size) {
      const ssize_t put =
          ::pwrite(descriptor, static_cast<const char*>(buffer) + total, size - total, position + total);
      if (put <= 0) return fail(kWinErrorDiskFull);
      total += static_cast<uint32_t>(put);
    }
    position += total;
    *bytesWritten = total;
    os.state().stampWritten(host);
    return true;
  }

  bool flush() override {
    if (os.enterCall("flush", windowsPath)) return false;
    if (!usable()) return fail(kWinErrorInvalidHandle);
    // FlushFileBuffers needs a handle that may write.
    if (!handle.canWrite) return fail(kWinErrorAccessDenied);
    return true;
  }

  bool seek(int64_t offsetFromStart) override {
    if (os.enterCall("seek", windowsPath)) return false;
    if (!usable()) return fail(kWinErrorInvalidHandle);
    if (offsetFromStart < 0) return fail(kWinErrorNegativeSeek);
    position = offsetFromStart;
    return true;
  }

  bool size(uint64_t* size) override {
    if (os.enterCall("size", windowsPath)) return false;
    if (!usable()) return fail(kWinErrorInvalidHandle);
    const off_t end = ::lseek(descriptor, 0, SEEK_END);
    if (end < 0) return fail(kWinErrorInvalidHandle);
    *size = static_cast<uint64_t>(end);
    return true;
  }

  bool close() override {
    if (descriptor < 0) {
      os.logCall("close", windowsPath);
      return fail(kWinErrorInvalidHandle);
    }
    // Even a failing CloseHandle gives the handle up; only the report differs.
    const bool injected = os.enterCall("close", windowsPath).has_value();
    release();
    return !injected;
  }

private:
  bool usable() const { return descriptor >= 0; }

  bool fail(uint32_t error) {
    os.setLastError(error);
    return false;
  }

  void release() {
    if (descriptor < 0) return;
    ::close(descriptor);
    descriptor = -1;
    os.state().openHandles.erase(registration);
    // FILE_FLAG_DELETE_ON_CLOSE: the file goes with its last handle, which was this one.
    if (deleteOnClose) {
      std::error_code ignored;
      std::filesystem::remove(host, ignored);
      os.state().forgetFile(host);
    }
  }

  SimOs& os;
  std::string windowsPath;
  std::filesystem::path host;
  int descriptor;
  sim::OpenHandle handle;
  bool deleteOnClose;
  int64_t position = 0;
  std::multimap<std::string, const sim::OpenHandle*>::iterator registration;
};

sim::OpenHandle handleFor(FileAccess access, FileShare share) {
  sim::OpenHandle handle;
  handle.canRead = access == FileAccess::Read || access == FileAccess::ReadWrite;
  handle.canWrite = access == FileAccess::Write || access == FileAccess::ReadWrite;
  handle.sharesRead = share == FileShare::Read || share == FileShare::ReadWrite;
  handle.sharesWrite = share == FileShare::ReadWrite;
  return handle;
}

// What CreateFileA does about a file that exists, or not, at the path.
enum class Disposition {
  OpenExisting, // else error 2 or 3
  OpenAlways,   // creates a missing file
  CreateAlways, // creates a missing file, empties an existing one
  CreateNew     // creates a missing file, else error 80
};

// CreateFileA on the host tree.
std::unique_ptr<OsFile> openHostFile(SimOs& os, const std::string& path, const sim::OpenHandle& handle,
                                     Disposition disposition, bool deleteOnClose) {
  SimOs::State& state = os.state();
  const bool create = disposition != Disposition::OpenExisting;
  const bool truncate = disposition == Disposition::CreateAlways;
  const sim::ResolvedPath resolved = state.resolve(path);
  if (!resolved.onDriveC || resolved.components.empty() || resolved.trailingSeparator) {
    os.setLastError(resolved.onDriveC && resolved.exists() ? kWinErrorAccessDenied : kWinErrorPathNotFound);
    return nullptr;
  }
  if (!resolved.exists()) {
    if (!create || !resolved.parentExists()) {
      os.setLastError(resolved.missingError());
      return nullptr;
    }
    if (!sim::isCreatableName(resolved.components.back())) {
      os.setLastError(kWinErrorInvalidName);
      return nullptr;
    }
  }
  std::error_code error;
  const bool existed = resolved.exists();
  if (existed && disposition == Disposition::CreateNew) {
    os.setLastError(kWinErrorFileExists);
    return nullptr;
  }
  if (existed && std::filesystem::is_directory(resolved.host, error)) {
    os.setLastError(kWinErrorAccessDenied);
    return nullptr;
  }
  if (existed && state.readOnly(resolved.host) && (handle.canWrite || truncate || deleteOnClose)) {
    os.setLastError(kWinErrorAccessDenied);
    return nullptr;
  }
  if (existed && state.sharingConflict(resolved.host, handle)) {
    os.setLastError(kWinErrorSharingViolation);
    return nullptr;
  }
  int flags = handle.canRead && handle.canWrite ? O_RDWR : handle.canWrite ? O_WRONLY : O_RDONLY;
  if (create) flags = O_RDWR | O_CREAT; // the host side only; access is checked above
  if (truncate) flags |= O_TRUNC;
  const int descriptor = ::open(resolved.host.c_str(), flags | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    os.setLastError(kWinErrorAccessDenied);
    return nullptr;
  }
  if (create && !existed) {
    state.attributes[SimOs::State::key(resolved.host)] = kFileAttributeArchive;
    state.stampCreated(resolved.host);
    state.assignAliases(resolved.host.parent_path());
  } else if (truncate) {
    state.stampWritten(resolved.host);
  }
  // Creating over an existing file succeeds and says so through the last error.
  if (create && existed) os.setLastError(kWinErrorAlreadyExists);
  return std::make_unique<SimFile>(os, path, resolved.host, descriptor, handle, deleteOnClose);
}

} // namespace

std::unique_ptr<OsFile> SimOs::openFile(const std::string& path, FileAccess access, FileShare share,
                                        FileCreation creation) {
  if (enterCall("openFile", path)) return nullptr;
  const Disposition disposition = creation == FileCreation::CreateAlways ? Disposition::CreateAlways
                                  : creation == FileCreation::CreateNew  ? Disposition::CreateNew
                                                                         : Disposition::OpenExisting;
  return openHostFile(*this, path, handleFor(access, share), disposition, false);
}

std::unique_ptr<OsFile> SimOs::openLockFile(const std::string& path) {
  if (enterCall("openLockFile", path)) return nullptr;
  return openHostFile(*this, path, sim::OpenHandle{true, true, false, false}, Disposition::OpenAlways, true);
}

} // namespace pq
