// Registry keys under HKEY_LOCAL_MACHINE. The Reg* functions return their error number
// instead of setting the thread's, and so do these.
#include <vector>

#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_os.h"

namespace pq::win32 {

namespace {

// The longest key name the registry allows is 255 characters.
constexpr DWORD kMaxKeyNameChars = 256;

class Win32RegistryKey final : public OsRegistryKey {
public:
  explicit Win32RegistryKey(HKEY owned) : key(owned) {}

  int32_t setString(const std::string& valueName, const std::string& value) override {
    // REG_SZ data counts its terminating NUL.
    return RegSetValueExA(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
  }

  int32_t getString(const std::string& valueName, std::string* value) override {
    DWORD type = 0;
    DWORD byteCount = 0;
    LONG error = RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, nullptr, &byteCount);
    if (error != ERROR_SUCCESS) return error;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_UNSUPPORTED_TYPE;
    std::vector<char> data(byteCount + 1);
    error = RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &byteCount);
    if (error != ERROR_SUCCESS) return error;
    // The stored data normally ends in its NUL, but nothing forces a writer to include it.
    std::string text(data.data(), byteCount);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    *value = text;
    return ERROR_SUCCESS;
  }

  int32_t deleteValue(const std::string& valueName) override { return RegDeleteValueA(key.get(), valueName.c_str()); }

  int32_t subkeyCount(uint32_t* count) override {
    DWORD subkeys = 0;
    const LONG error = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr);
    if (error == ERROR_SUCCESS) *count = subkeys;
    return error;
  }

  int32_t enumerateSubkey(uint32_t index, std::string* name) override {
    char buffer[kMaxKeyNameChars] = {};
    DWORD length = kMaxKeyNameChars;
    const LONG error = RegEnumKeyExA(key.get(), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (error == ERROR_SUCCESS) *name = std::string(buffer, length);
    return error;
  }

  int32_t close() override {
    if (!key.valid()) return ERROR_SUCCESS;
    return RegCloseKey(key.release());
  }

private:
  RegistryKeyHandle key;
};

} // namespace

int32_t Win32Os::regCreateKey(const std::string& path, std::unique_ptr<OsRegistryKey>* key) {
  HKEY created = nullptr;
  DWORD disposition = 0;
  const LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS, nullptr, &created, &disposition);
  if (error == ERROR_SUCCESS) *key = std::make_unique<Win32RegistryKey>(created);
  return error;
}

int32_t Win32Os::regOpenKey(const std::string& path, std::unique_ptr<OsRegistryKey>* key) {
  HKEY opened = nullptr;
  const LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &opened);
  if (error == ERROR_SUCCESS) *key = std::make_unique<Win32RegistryKey>(opened);
  return error;
}

int32_t Win32Os::regDeleteKey(const std::string& path) { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()); }

} // namespace pq::win32
