// The whole installer against an arbitrary archive: the input is written after a padded
// program as the installer file on a fresh simulated Windows, and the window runs start-up,
// Install (answering No to the prompt), Un-Install and Close. Whatever the bytes say:
// - nothing outside the Windows directory and the installer's folder is created, changed or
//   deleted, and the registry changes only below the uninstall root;
// - no destination is left holding anything but an entry's file: a stored entry's bytes
//   exactly, or an expanded file of the size its entry promises (never a truncated or corrupt
//   file under a real name), after the install and after the uninstall;
// - the temporary copy is gone once the window has closed.
// A broken rule aborts with a line that says which, so libFuzzer keeps the input.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "compression/compressor.h"
#include "installer/fInstall.h"
#include "platform/sim/sim_os.h"
#include "platform/win_path.h"
#include "system/uninstall_registration.h"

namespace {

const char* const kInstallerPath = "C:\\Setup\\Setup.exe";
const char* const kWindowsFolder = "c:\\windows\\";
const char* const kInstallerFolder = "c:\\setup\\";

// Files and keys that belong to nobody the installer may touch.
const char* const kOutsideFiles[] = {"C:\\keep.txt", "C:\\Other\\keep.txt", "C:\\Program Files\\App\\app.exe"};
const char* const kOutsideKey = "SOFTWARE\\Other Vendor";
const char* const kNeighbourKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Neighbour";

[[noreturn]] void fail(const std::string& rule, const std::string& detail) {
  std::fprintf(stderr, "fuzz_installer: %s: %s\n", rule.c_str(), detail.c_str());
  std::abort();
}

std::string lower(const std::string& text) { return pq::asciiLower(text); }

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool insideAllowedFolders(const std::string& path) {
  const std::string key = lower(path);
  return startsWith(key, kWindowsFolder) || startsWith(key, kInstallerFolder);
}

// One folder for the whole process, emptied before every run.
const std::filesystem::path& simRoot() {
  static const std::filesystem::path root = [] {
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base)) base = std::filesystem::temp_directory_path();
    return base / ("pq_fuzz_installer_" + std::to_string(::getpid()));
  }();
  return root;
}

void removeRootAtExit() {
  std::error_code ignored;
  std::filesystem::remove_all(simRoot(), ignored);
}

// Every key below HKEY_LOCAL_MACHINE, as lower-cased full paths.
void collectKeys(const pq::SimOs& sim, const std::string& path, std::set<std::string>* keys) {
  for (const std::string& name : sim.registrySubkeys(path)) {
    const std::string child = path.empty() ? name : path + "\\" + name;
    keys->insert(lower(child));
    collectKeys(sim, child, keys);
  }
}

void checkNothingOutsideChanged(const std::map<std::string, std::string>& before,
                                const std::map<std::string, std::string>& after) {
  for (const auto& [path, contents] : before) {
    if (insideAllowedFolders(path)) continue;
    const auto found = after.find(path);
    if (found == after.end()) fail("deleted outside the allowed folders", path);
    if (found->second != contents) fail("changed outside the allowed folders", path);
  }
  for (const auto& [path, contents] : after) {
    if (!insideAllowedFolders(path) && before.count(path) == 0) fail("created outside the allowed folders", path);
  }
}

// The registry may change only strictly below the uninstall root: every key outside it stays,
// and no call that writes or deletes names a key anywhere else.
void checkRegistry(const pq::SimOs& sim, const std::set<std::string>& keysBefore) {
  const std::string uninstallRoot = lower(kReg_UninstallRoot);
  std::set<std::string> keysAfter;
  collectKeys(sim, "", &keysAfter);
  for (const std::string& key : keysBefore) {
    if (startsWith(key + "\\", uninstallRoot) && key.size() + 1 > uninstallRoot.size()) continue;
    if (keysAfter.count(key) == 0) fail("registry key deleted outside the uninstall root", key);
  }
  for (const std::string& key : keysAfter) {
    if (keysBefore.count(key) == 0 && !startsWith(key, uninstallRoot)) fail("registry key created outside", key);
  }
  if (sim.registryValue(kOutsideKey, "Setting") != std::optional<std::string>("kept"))
    fail("registry value changed", kOutsideKey);
  if (sim.registryValue(kNeighbourKey, "DisplayName") != std::optional<std::string>("Neighbour Screen Saver"))
    fail("another program's uninstall entry changed", kNeighbourKey);

  const char* const writers[] = {"regCreateKey ", "regDeleteKey ", "setString ", "deleteValue "};
  for (const std::string& line : sim.callLog) {
    for (const char* writer : writers) {
      if (!startsWith(line, writer)) continue;
      const std::string path = lower(line.substr(std::string(writer).size()));
      if (!startsWith(path, uninstallRoot) || path.size() == uninstallRoot.size())
        fail("registry written outside the uninstall root", line);
    }
  }
}

// Where entry `index` lands in the mode its main entry's name gives, by the archive's rule;
// empty for an undefined kind.
std::string destinationOf(int index) {
  const TInstallFileInfo& entry = installerDirectory.entries[index];
  const InstallMode mode = installModeOf(entryName(installerDirectory.entries[kMainEntry]));
  return entryDestination(entryName(entry), entry.fileType, mode, kWindowsFolder, kInstallerFolder);
}

// What may stand at each destination (lower-cased) once an entry has landed there: a stored
// entry's file is its stored bytes exactly, which the installer never compares with
// `unzippedSize`; an expanded file must have the size `unzippedSize` promises.
struct Promise {
  std::vector<std::string> storedFiles;
  std::set<int64_t> expandedSizes;
};

std::map<std::string, Promise> promises(const std::string& image) {
  std::map<std::string, Promise> promised;
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    const std::string destination = destinationOf(index);
    if (destination.empty()) continue;
    const TInstallFileInfo& entry = installerDirectory.entries[index];
    Promise& promise = promised[lower(destination)];
    if (entry.isZipped != 0) {
      promise.expandedSizes.insert(entry.unzippedSize);
    } else if (entry.startOffset >= 0 && storedSize(entry) > 0 &&
               static_cast<uint64_t>(entry.startOffset) + static_cast<uint64_t>(storedSize(entry)) <= image.size()) {
      promise.storedFiles.push_back(image.substr(static_cast<size_t>(entry.startOffset),
                                                 static_cast<size_t>(storedSize(entry))));
    }
  }
  return promised;
}

// What each destination holds now (nullopt: no file).
std::map<std::string, std::optional<std::string>> destinationContents(const pq::SimOs& sim, const std::string& image) {
  std::map<std::string, std::optional<std::string>> contents;
  for (const auto& [destination, promise] : promises(image)) {
    (void)promise;
    contents[destination] = sim.fileExistsAt(destination) ? sim.fileContents(destination) : std::nullopt;
  }
  return contents;
}

// A destination the run has written must hold what some entry landing there promises; one
// the run did not touch (an old busy file) is not the run's doing.
void checkDestinations(const std::map<std::string, std::optional<std::string>>& beforeInstall,
                       const pq::SimOs& sim, const std::string& image, const char* when) {
  for (const auto& [destination, promise] : promises(image)) {
    if (!sim.fileExistsAt(destination)) continue;
    const std::optional<std::string> now = sim.fileContents(destination);
    if (!now) continue;
    const auto old = beforeInstall.find(destination);
    if (old != beforeInstall.end() && old->second == now) continue;
    const bool storedWhole =
        std::find(promise.storedFiles.begin(), promise.storedFiles.end(), *now) != promise.storedFiles.end();
    if (!storedWhole && promise.expandedSizes.count(static_cast<int64_t>(now->size())) == 0)
      fail(std::string("destination holding no entry's file ") + when,
           destination + " holds " + std::to_string(now->size()) + " bytes");
  }
}

// The installer file: a padded program, then the input.
std::string installerImage(const uint8_t* data, size_t size) {
  std::string image(DIRECTORY_OFFSET, '\0');
  image.replace(0, 2, "MZ");
  image.append(reinterpret_cast<const char*>(data), size);
  return image;
}

void arrangeMachine(pq::SimOs& sim, const std::string& image) {
  sim.putFile(kInstallerPath, image);
  sim.putFile("C:\\Setup\\readme.txt", "beside the installer");
  sim.putFile("C:\\WINDOWS\\system.ini", "[boot]\r\nSCRNSAVE.EXE=C:\\WINDOWS\\OTHER.SCR\r\n");
  for (const char* path : kOutsideFiles) sim.putFile(path, std::string("belongs to someone else: ") + path);
  sim.putRegistryValue(kOutsideKey, "Setting", "kept");
  sim.putRegistryValue(kNeighbourKey, "DisplayName", "Neighbour Screen Saver");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (std::atexit(removeRootAtExit), true);
  (void)registered;
  std::error_code ignored;
  std::filesystem::remove_all(simRoot(), ignored);

  pq::SimOs sim(simRoot());
  pq::ScopedSimOs scope(sim);
  resetRunState();
  resetCompressionState();
  sim.setExecutablePath(kInstallerPath);
  const std::string image = installerImage(data, size);
  arrangeMachine(sim, image);

  const std::map<std::string, std::string> atStart = sim.snapshot();
  std::set<std::string> keysAtStart;
  collectKeys(sim, "", &keysAtStart);

  {
    TForm1 form;
    form.FormCreate(nullptr);
    const auto beforeInstall = destinationContents(sim, image);
    form.butInstallClick(nullptr); // the completion prompt, if any, is answered No
    checkDestinations(beforeInstall, sim, image, "after the install");
    form.butUnInstallClick(nullptr);
    checkDestinations(beforeInstall, sim, image, "after the uninstall");
    const std::string copy = pathTempFile;
    form.Close();
    if (!copy.empty() && sim.fileExistsAt(copy)) fail("temporary copy left after close", copy);
  }

  checkNothingOutsideChanged(atStart, sim.snapshot());
  checkRegistry(sim, keysAtStart);
  resetRunState();
  return 0;
}
