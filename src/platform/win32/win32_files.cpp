// Directories, files and profile strings of the Win32 backend.
#include <vector>

#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_os.h"

namespace pq::win32 {

namespace {

// Win32 "A" functions that fill a caller's buffer return the length written, or the size
// needed when the buffer is too small, or 0 on failure. Both failures give an empty string.
std::string filledPart(const std::vector<char>& buffer, DWORD length, uint32_t bufferChars) {
  if (length == 0 || length >= bufferChars) return {};
  return std::string(buffer.data(), length);
}

DWORD desiredAccess(FileAccess access) {
  switch (access) {
  case FileAccess::Read: return GENERIC_READ;
  case FileAccess::Write: return GENERIC_WRITE;
  case FileAccess::ReadWrite: return GENERIC_READ | GENERIC_WRITE;
  }
  return 0;
}

DWORD shareMode(FileShare share) {
  switch (share) {
  case FileShare::None: return 0;
  case FileShare::Read: return FILE_SHARE_READ;
  case FileShare::ReadWrite: return FILE_SHARE_READ | FILE_SHARE_WRITE;
  }
  return 0;
}

DWORD creationDisposition(FileCreation creation) {
  switch (creation) {
  case FileCreation::OpenExisting: return OPEN_EXISTING;
  case FileCreation::CreateAlways: return CREATE_ALWAYS;
  case FileCreation::CreateNew: return CREATE_NEW;
  }
  return OPEN_EXISTING;
}

uint64_t fileTime(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

class Win32File final : public OsFile {
public:
  Win32File(FileHandle owned, Win32Os& backend) : handle(std::move(owned)), os(backend) {}

  bool read(void* buffer, uint32_t size, uint32_t* bytesRead) override {
    DWORD count = 0;
    const bool ok = ReadFile(handle.get(), buffer, size, &count, nullptr) != 0;
    if (!ok) os.takeLastError();
    *bytesRead = count;
    return ok;
  }

  bool write(const void* buffer, uint32_t size, uint32_t* bytesWritten) override {
    DWORD count = 0;
    const bool ok = WriteFile(handle.get(), buffer, size, &count, nullptr) != 0;
    if (!ok) os.takeLastError();
    *bytesWritten = count;
    return ok;
  }

  bool seek(int64_t offsetFromStart) override {
    LONG high = static_cast<LONG>(offsetFromStart >> 32);
    const DWORD low = SetFilePointer(handle.get(), static_cast<LONG>(offsetFromStart & 0xFFFFFFFF), &high, FILE_BEGIN);
    // INVALID_SET_FILE_POINTER is also a valid low half of a large offset: only the error
    // number tells the two apart.
    if (low == INVALID_SET_FILE_POINTER) {
      const DWORD error = GetLastError();
      if (error != NO_ERROR) {
        os.takeLastError();
        return false;
      }
    }
    return true;
  }

  bool size(uint64_t* size) override {
    DWORD high = 0;
    const DWORD low = GetFileSize(handle.get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
      os.takeLastError();
      return false;
    }
    *size = (static_cast<uint64_t>(high) << 32) | low;
    return true;
  }

  bool flush() override {
    const bool ok = FlushFileBuffers(handle.get()) != 0;
    if (!ok) os.takeLastError();
    return ok;
  }

  bool close() override {
    if (!handle.valid()) return true;
    const bool ok = handle.close();
    if (!ok) os.takeLastError();
    return ok;
  }

private:
  FileHandle handle;
  Win32Os& os;
};

} // namespace

std::string Win32Os::windowsDirectory(uint32_t bufferChars) {
  std::vector<char> buffer(bufferChars + 1);
  const UINT length = GetWindowsDirectoryA(buffer.data(), bufferChars);
  if (length == 0) takeLastError();
  return filledPart(buffer, length, bufferChars);
}

std::string Win32Os::systemDirectory(uint32_t bufferChars) {
  std::vector<char> buffer(bufferChars + 1);
  const UINT length = GetSystemDirectoryA(buffer.data(), bufferChars);
  if (length == 0) takeLastError();
  return filledPart(buffer, length, bufferChars);
}

std::string Win32Os::executablePath() {
  // A path may exceed MAX_PATH; grow until the name fits with room for its NUL.
  for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 2) {
    std::vector<char> buffer(capacity);
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), capacity);
    if (length == 0) {
      takeLastError();
      return {};
    }
    if (length < capacity - 1) return std::string(buffer.data(), length);
  }
  return {};
}

namespace {

FoundFile foundFrom(const WIN32_FIND_DATAA& data) {
  FoundFile found;
  found.name = data.cFileName;
  found.attributes = data.dwFileAttributes;
  found.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  found.creationTime = fileTime(data.ftCreationTime);
  found.lastWriteTime = fileTime(data.ftLastWriteTime);
  return found;
}

} // namespace

bool Win32Os::findFirstFile(const std::string& path, FoundFile* found) {
  WIN32_FIND_DATAA data{};
  FindHandle search(FindFirstFileA(path.c_str(), &data));
  if (!search) {
    takeLastError();
    return false;
  }
  *found = foundFrom(data);
  return true;
}

bool Win32Os::findFiles(const std::string& pattern, std::vector<FoundFile>* found) {
  found->clear();
  WIN32_FIND_DATAA data{};
  FindHandle search(FindFirstFileA(pattern.c_str(), &data));
  if (!search) {
    takeLastError();
    return false;
  }
  do {
    found->push_back(foundFrom(data));
  } while (FindNextFileA(search.get(), &data));
  return true;
}

bool Win32Os::copyFile(const std::string& existing, const std::string& newFile, bool failIfExists) {
  const bool ok = CopyFileA(existing.c_str(), newFile.c_str(), failIfExists ? TRUE : FALSE) != 0;
  if (!ok) takeLastError();
  return ok;
}

bool Win32Os::deleteFile(const std::string& path) {
  const bool ok = DeleteFileA(path.c_str()) != 0;
  if (!ok) takeLastError();
  return ok;
}

bool Win32Os::setFileAttributes(const std::string& path, uint32_t attributes) {
  const bool ok = SetFileAttributesA(path.c_str(), attributes) != 0;
  if (!ok) takeLastError();
  return ok;
}

bool Win32Os::moveFileEx(const std::string& existing, const std::string& newName, uint32_t flags) {
  const bool ok = MoveFileExA(existing.c_str(), newName.c_str(), flags) != 0;
  if (!ok) takeLastError();
  return ok;
}

uint64_t Win32Os::systemTimeAsFileTime() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return fileTime(now);
}

uint64_t Win32Os::tickCount64() { return GetTickCount64(); }

std::unique_ptr<OsFile> Win32Os::openFile(const std::string& path, FileAccess access, FileShare share,
                                          FileCreation creation) {
  FileHandle handle(CreateFileA(path.c_str(), desiredAccess(access), shareMode(share), nullptr,
                                creationDisposition(creation), FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) {
    takeLastError();
    return nullptr;
  }
  return std::make_unique<Win32File>(std::move(handle), *this);
}

std::unique_ptr<OsFile> Win32Os::openLockFile(const std::string& path) {
  FileHandle handle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!handle) {
    takeLastError();
    return nullptr;
  }
  return std::make_unique<Win32File>(std::move(handle), *this);
}

std::string Win32Os::shortPathName(const std::string& path, uint32_t bufferChars) {
  std::vector<char> buffer(bufferChars + 1);
  const DWORD length = GetShortPathNameA(path.c_str(), buffer.data(), bufferChars);
  if (length == 0) takeLastError();
  return filledPart(buffer, length, bufferChars);
}

bool Win32Os::writePrivateProfileString(const std::string& section, const std::string& key,
                                        const std::string& value, const std::string& fileName) {
  const bool ok = WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), fileName.c_str()) != 0;
  if (!ok) takeLastError();
  return ok;
}

std::string Win32Os::getPrivateProfileString(const std::string& section, const std::string& key,
                                             const std::string& defaultValue, uint32_t bufferChars,
                                             const std::string& fileName) {
  if (bufferChars == 0) return {};
  std::vector<char> buffer(bufferChars + 1);
  const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                                bufferChars, fileName.c_str());
  return std::string(buffer.data(), length);
}

} // namespace pq::win32
