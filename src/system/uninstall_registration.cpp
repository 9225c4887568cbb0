#include "system/uninstall_registration.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "archive/entry_rules.h"
#include "errors/logFile.h"
#include "platform/os.h"
#include "platform/win_path.h"
#include "system/file_removal.h"

const char* const kReg_UninstallRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

namespace {

const char* const kValue_DisplayName = "DisplayName";
const char* const kValue_UninstallString = "UninstallString";

// The registry nests keys at most 512 levels deep; a deeper walk could only mean a backend
// that reports a key as its own subkey.
constexpr int kMaxKeyDepth = 512;

std::string uninstallKeyPath(const std::string& saverName) {
  return kReg_UninstallRoot + saverName;
}

bool isClaimed(const std::vector<std::string>& claimed, const std::string& path) {
  for (const std::string& entry : claimed) {
    if (pq::pathsEqual(entry, path)) return true;
  }
  return false;
}

// Creates the key if needed, sets one string value and closes the key again.
TResult writeStringValue(const std::string& keyPath, const std::string& name, const std::string& value) {
  std::unique_ptr<pq::OsRegistryKey> key;
  int32_t error = pq::os().regCreateKey(keyPath, &key);
  if (error != 0) return error;
  if (!key) return pq::kWinErrorInvalidHandle;
  error = key->setString(name, value);
  if (error != 0) return error;
  return key->close();
}

std::vector<std::string> subkeyNames(pq::OsRegistryKey& key) {
  std::vector<std::string> names;
  uint32_t count = 0;
  if (key.subkeyCount(&count) != 0) return names;
  for (uint32_t index = 0; index < count; ++index) {
    std::string name;
    int32_t error = key.enumerateSubkey(index, &name);
    if (error == static_cast<int32_t>(pq::kWinErrorNoMoreItems)) break;
    // An empty name would make the subkey's path that of the key itself.
    if (error == 0 && !name.empty()) names.push_back(name);
  }
  return names;
}

// Deletes a key and everything below it: the system refuses to delete a key that still
// has subkeys, so they go first, last enumerated first. Failures are passed over.
void deleteKeyTree(const std::string& keyPath, int depth) {
  if (depth > kMaxKeyDepth) return;
  std::vector<std::string> names;
  {
    std::unique_ptr<pq::OsRegistryKey> key;
    if (pq::os().regOpenKey(keyPath, &key) == 0 && key) {
      names = subkeyNames(*key);
      key->close();
    }
  }
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    deleteKeyTree(keyPath + "\\" + *name, depth + 1);
  }
  pq::os().regDeleteKey(keyPath);
}

} // namespace

TResult createUninstallKey(const std::string& saverPath) {
  TResult result = kErr_None;
  LogOperation trace("createUninstallKey", saverPath, &result);
  const std::string saverName = screenSaverName(saverPath);
  // Without a name the values would land in the list's own root key.
  if (saverName.empty()) return result = pq::kWinErrorInvalidName;
  const std::string keyPath = uninstallKeyPath(saverName);
  result = writeStringValue(keyPath, kValue_DisplayName, saverName + " Screen Saver");
  // The system runs the command as it stands: the saver's bare name is no program on the
  // path, and ".scr" is not an extension it tries. The quotes keep a path with blanks whole.
  if (result == kErr_None) result = writeStringValue(keyPath, kValue_UninstallString, "\"" + saverPath + "\" /u");
  return result;
}

void deleteUninstallKey(const std::string& saverName) {
  LogOperation trace("deleteUninstallKey", saverName);
  // A saver file named ".scr" has an empty name; the key path would then be the list of
  // every installed program, which must never be deleted.
  if (saverName.empty()) return;
  const std::string keyPath = uninstallKeyPath(saverName);
  {
    std::unique_ptr<pq::OsRegistryKey> key;
    if (pq::os().regOpenKey(keyPath, &key) != 0 || !key) return;
    key->deleteValue(kValue_DisplayName);
    key->deleteValue(kValue_UninstallString);
    key->close();
  }
  deleteKeyTree(keyPath, 0);
}

void doQuietUninstall(const std::string& saverPath, const std::vector<std::string>& claimed) {
  LogOperation trace("doQuietUninstall", saverPath);
  const std::string pathWithoutExtension = pq::changeFileExt(saverPath, "");
  const std::string saverName = screenSaverName(saverPath);
  const std::string pathSaverDir = pathWithoutExtension + " dir";
  const std::string pathSaverDatafile = pq::changeFileExt(saverPath, ".ssd");

  // A saver the failed installation never reached (busy, or after the failing entry) is
  // another installation's, still working: it keeps its " dir" file and its entry. Once the
  // failed installation has replaced the saver, the entry would only name a removed file.
  const bool ownSaver = isClaimed(claimed, saverPath);
  if (ownSaver) {
    deleteQuietly(saverPath, ShowError::No);
    // Nothing in the installer creates anything at the " dir" path; a file there goes, but a
    // directory found there is someone else's and stays, since removal never touches one.
    deleteQuietly(pathSaverDir, ShowError::No);
  }
  if (isClaimed(claimed, pathSaverDatafile)) deleteQuietly(pathSaverDatafile, ShowError::No);
  if (ownSaver) deleteUninstallKey(saverName);
}
