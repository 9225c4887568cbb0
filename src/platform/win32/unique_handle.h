// One owning handle for every kind of Windows handle. The traits name the value that means
// "no handle" (it differs: INVALID_HANDLE_VALUE for files, NULL for modules) and the call
// that releases it, so no raw handle outlives its scope by accident.
#pragma once

#include <utility>

#include "platform/win32/windows_api.h"

namespace pq::win32 {

template <typename Traits>
class UniqueHandle {
public:
  using Value = typename Traits::Value;

  UniqueHandle() noexcept : value(Traits::invalid()) {}
  explicit UniqueHandle(Value owned) noexcept : value(owned) {}
  ~UniqueHandle() { close(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      close();
      value = other.release();
    }
    return *this;
  }

  Value get() const noexcept { return value; }
  bool valid() const noexcept { return value != Traits::invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  // Gives up ownership without closing.
  Value release() noexcept { return std::exchange(value, Traits::invalid()); }

  // Releases the handle now and reports whether the release call succeeded; true when
  // there was nothing to release.
  bool close() noexcept {
    if (!valid()) return true;
    return Traits::close(release());
  }

private:
  Value value;
};

struct FileHandleTraits {
  using Value = HANDLE;
  static Value invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool close(Value handle) noexcept { return CloseHandle(handle) != 0; }
};

struct FindHandleTraits {
  using Value = HANDLE;
  static Value invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool close(Value handle) noexcept { return FindClose(handle) != 0; }
};

struct LibraryHandleTraits {
  using Value = HMODULE;
  static Value invalid() noexcept { return nullptr; }
  static bool close(Value handle) noexcept { return FreeLibrary(handle) != 0; }
};

struct RegistryKeyTraits {
  using Value = HKEY;
  static Value invalid() noexcept { return nullptr; }
  static bool close(Value handle) noexcept { return RegCloseKey(handle) == ERROR_SUCCESS; }
};

struct GdiObjectTraits {
  using Value = HGDIOBJ;
  static Value invalid() noexcept { return nullptr; }
  static bool close(Value handle) noexcept { return DeleteObject(handle) != 0; }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using LibraryHandle = UniqueHandle<LibraryHandleTraits>;
using RegistryKeyHandle = UniqueHandle<RegistryKeyTraits>;
using GdiObject = UniqueHandle<GdiObjectTraits>;

} // namespace pq::win32
