// The seam's contract checks, grouped by the service they exercise. Each group works in its
// own files below the scratch folder so that one failing group cannot mislead the next.
#include "os_contract.h"

#include <algorithm>
#include <cstring>

namespace pqtest {

using namespace pq;

namespace {

constexpr uint32_t kMaxPath = 260;

class Checks {
public:
  explicit Checks(Os& os) : os(os) {}

  void expect(bool condition, const std::string& what) {
    if (!condition) failures.push_back(what);
  }
  // A failed call must report `error` through lastError(), as GetLastError() would.
  void expectError(uint32_t error, const std::string& what) {
    const uint32_t actual = os.lastError();
    if (actual != error)
      failures.push_back(what + ": last error " + std::to_string(actual) + ", expected " + std::to_string(error));
  }
  void expectEqual(const std::string& actual, const std::string& expected, const std::string& what) {
    if (actual != expected) failures.push_back(what + ": got \"" + actual + "\", expected \"" + expected + "\"");
  }
  void expectResult(int32_t actual, int32_t expected, const std::string& what) {
    if (actual != expected)
      failures.push_back(what + ": returned " + std::to_string(actual) + ", expected " + std::to_string(expected));
  }

  Os& os;
  std::vector<std::string> failures;
};

// Writes `bytes` as a whole new file; false when any step fails.
bool writeWholeFile(Os& os, const std::string& path, const std::string& bytes) {
  std::unique_ptr<OsFile> file = os.openFile(path, FileAccess::Write, FileShare::None, FileCreation::CreateAlways);
  if (!file) return false;
  uint32_t written = 0;
  const bool wrote = file->write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written);
  return file->close() && wrote && written == bytes.size();
}

// The whole content of a file, or "<unreadable>" when it cannot be opened or read.
std::string readWholeFile(Os& os, const std::string& path) {
  std::unique_ptr<OsFile> file = os.openFile(path, FileAccess::Read, FileShare::Read, FileCreation::OpenExisting);
  if (!file) return "<unreadable>";
  std::string content;
  char buffer[64];
  for (;;) {
    uint32_t got = 0;
    if (!file->read(buffer, sizeof buffer, &got)) return "<unreadable>";
    if (got == 0) break;
    content.append(buffer, got);
  }
  return content;
}

bool isValidShortComponent(const std::string& name) {
  const size_t dot = name.find('.');
  const std::string base = name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3 || extension.find('.') != std::string::npos) return false;
  return name.find(' ') == std::string::npos;
}

void checkDirectories(Checks& checks) {
  Os& os = checks.os;
  const std::string windows = os.windowsDirectory(kDirectoryBufferChars);
  const std::string system = os.systemDirectory(kDirectoryBufferChars);
  checks.expect(!windows.empty(), "windowsDirectory is reported");
  checks.expect(!system.empty(), "systemDirectory is reported");
  checks.expect(os.windowsDirectory(static_cast<uint32_t>(windows.size())).empty(),
                "windowsDirectory needs room for its NUL");
  FoundFile found;
  checks.expect(os.findFirstFile(windows, &found) && (found.attributes & kFileAttributeDirectory) != 0,
                "the Windows directory is found as a directory");
}

void checkFindAndDelete(Checks& checks, const std::string& scratch) {
  Os& os = checks.os;
  FoundFile found;
  const std::string folder = scratch.substr(0, scratch.size() - 1);
  checks.expect(os.findFirstFile(folder, &found), "findFirstFile finds a directory");
  checks.expect((found.attributes & kFileAttributeDirectory) != 0, "a directory reports the directory attribute");

  const std::string path = scratch + "Found.txt";
  checks.expect(!os.findFirstFile(path, &found), "findFirstFile of a missing file fails");
  checks.expectError(kWinErrorFileNotFound, "findFirstFile of a missing file");
  checks.expect(writeWholeFile(os, path, "12345"), "a new file is written");
  found = FoundFile{};
  checks.expect(os.findFirstFile(path, &found), "findFirstFile finds a file");
  checks.expectEqual(found.name, "Found.txt", "findFirstFile reports the long name");
  checks.expect((found.attributes & kFileAttributeDirectory) == 0, "a file is not a directory");
  checks.expect(found.size == 5, "findFirstFile reports the size");
  found = FoundFile{};
  checks.expect(os.findFirstFile(scratch + "FOUND.TXT", &found), "findFirstFile ignores letter case");
  checks.expectEqual(found.name, "Found.txt", "findFirstFile reports the stored case");

  checks.expect(os.deleteFile(path), "deleteFile removes a file");
  checks.expect(!os.findFirstFile(path, &found), "a deleted file is gone");
  checks.expect(!os.deleteFile(path), "deleteFile of a missing file fails");
  checks.expectError(kWinErrorFileNotFound, "deleteFile of a missing file");
  checks.expect(!os.deleteFile(scratch + "NoFolder\\x.txt"), "deleteFile in a missing folder fails");
  checks.expectError(kWinErrorPathNotFound, "deleteFile in a missing folder");
  checks.expect(!os.deleteFile(folder), "deleteFile refuses a directory");
  checks.expectError(kWinErrorAccessDenied, "deleteFile of a directory");
  checks.expect(os.findFirstFile(folder, &found), "a directory survives deleteFile");
}

void checkFindFiles(Checks& checks, const std::string& scratch) {
  Os& os = checks.os;
  std::vector<FoundFile> found;
  checks.expect(!os.findFiles(scratch + "Pattern*.dat", &found) && found.empty(), "findFiles without a match fails");
  checks.expectError(kWinErrorFileNotFound, "findFiles without a match");
  checks.expect(!os.findFiles(scratch + "NoFolder\\*.dat", &found), "findFiles in a missing folder fails");
  checks.expectError(kWinErrorPathNotFound, "findFiles in a missing folder");
  for (const char* name : {"Pattern1.dat", "PATTERN22.DAT", "Pattern3.datx", "Other4.dat"}) {
    checks.expect(writeWholeFile(os, scratch + name, name), std::string("a file for findFiles: ") + name);
  }
  checks.expect(os.findFiles(scratch + "pattern*.dat", &found), "findFiles with '*'");
  std::vector<std::string> names;
  for (const FoundFile& file : found) names.push_back(file.name);
  std::sort(names.begin(), names.end());
  checks.expect(names == std::vector<std::string>{"PATTERN22.DAT", "Pattern1.dat"},
                "findFiles matches case-blind, with the stored names and nothing else");
  checks.expect(os.findFiles(scratch + "Pattern?.dat", &found) && found.size() == 1 && found[0].name == "Pattern1.dat" &&
                    found[0].size == 12,
                "findFiles with '?' stands for one character and reports the size");
}

void checkLockFile(Checks& checks, const std::string& scratch) {
  Os& os = checks.os;
  const std::string path = scratch + "Action.lock";
  FoundFile found;
  std::unique_ptr<OsFile> held = os.openLockFile(path);
  checks.expect(held != nullptr && os.findFirstFile(path, &found), "openLockFile creates the file");
  checks.expect(os.openLockFile(path) == nullptr, "a held lock file cannot be had again");
  checks.expectError(kWinErrorSharingViolation, "openLockFile of a held lock file");
  checks.expect(os.openFile(path, FileAccess::Read, FileShare::ReadWrite, FileCreation::OpenExisting) == nullptr,
                "a held lock file shares nothing");
  held.reset();
  checks.expect(!os.findFirstFile(path, &found), "a lock file goes with its handle");
  checks.expect(writeWholeFile(os, path, "left behind"), "a lock file left behind");
  held = os.openLockFile(path);
  checks.expect(held != nullptr, "openLockFile takes over a lock file nobody holds");
  held.reset();
  checks.expect(!os.findFirstFile(path, &found), "the taken-over lock file goes with its handle");
}

void checkReadOnly(Checks& checks, const std::string& scratch) {
  Os& os = checks.os;
  const std::string path = scratch + "ReadOnly.txt";
  checks.expect(writeWholeFile(os, path, "keep"), "a file to protect is written");
  checks.expect(os.setFileAttributes(path, kFileAttributeReadOnly), "setFileAttributes sets read-only");
  FoundFile found;
  checks.expect(os.findFirstFile(path, &found) && (found.attributes & kFileAttributeReadOnly) != 0,
                "findFirstFile reports read-only");
  // Opening it for writing is not checked: Wine running as root lets that through.
  checks.expect(!os.deleteFile(path), "deleteFile refuses a read-only file");
  checks.expectError(kWinErrorAccessDenied, "deleteFile of a read-only file");
  checks.expect(os.setFileAttributes(path, kFileAttributeNormal), "setFileAttributes resets to normal");
  checks.expect(os.findFirstFile(path, &found) && (found.attributes & kFileAttributeReadOnly) == 0,
                "normal attributes clear read-only");
  checks.expect(os.deleteFile(path), "a reset file can be deleted");
  checks.expect(!os.setFileAttributes(path, kFileAttributeNormal), "setFileAttributes of a missing file fails");
  checks.expectError(kWinErrorFileNotFound, "setFileAttributes of a missing file");
}

void checkCopy(Checks& checks, const std::string& scratch) {
  Os& os = checks.os;
  const std::string first = scratch + "CopyFirst.bin";
  const std::string second = scratch + "CopySecond.bin";
  const std::string target = scratch + "CopyTarget.bin";
  checks.expect(writeWholeFile(os, first, "first content"), "copy source one is written");
  checks.expect(writeWholeFile(os, second, "second"), "copy source two is written");
  checks.expect(os.copyFile(first, target, false), "copyFile to a new name");
  checks.expectEqual(readWholeFile(os, target), "first content", "the copy holds the source");
  checks.expect(os.copyFile(second, target, false), "copyFile overwrites when allowed");
  checks.expectEqual(readWholeFile(os, target), "second", "the overwritten copy holds the new source");
  checks.expect(!os.copyFile(first, target, true), "copyFile with failIfExists refuses an existing file");
  checks.expectError(kWinErrorFileExists, "copyFile onto an existing file with failIfExists");
  checks.expectEqual(readWholeFile(os, target), "second", "a refused copy leaves the target");
  checks.expect(!os.copyFile(scratch + "Missing.bin", target, false), "copyFile of a missing source fails");
  checks.expectError(kWinErrorFileNotFound, "copyFile of a missing source");
}

void checkOpenReadWrite(Checks& checks, const std::string& scratch) {
  Os& os = checks.os;
  const std::string path = scratch + "Handle.bin";
  checks.expect(!os.openFile(path, FileAccess::Read, FileShare::Read, FileCreation::OpenExisting),
                "OpenExisting of a missing file fails");
  checks.expectError(kWinErrorFileNotFound, "OpenExisting of a missing file");
  checks.expect(!os.openFile(scratch + "NoFolder\\x.bin", FileAccess::Read, FileShare::Read, FileCreation::OpenExisting),
                "OpenExisting in a missing folder fails");
  checks.expectError(kWinErrorPathNotFound, "OpenExisting in a missing folder");

  checks.expect(writeWholeFile(os, path, "a longer first content"), "CreateAlways creates a file");
  checks.expect(writeWholeFile(os, path, "hello"), "CreateAlways truncates an existing file");
  checks.expectEqual(readWholeFile(os, path), "hello", "the truncated file holds only the new bytes");

  std::unique_ptr<OsFile> file = os.openFile(path, FileAccess::ReadWrite, FileShare::None, FileCreation::OpenExisting);
  checks.expect(file != nullptr, "OpenExisting for reading and writing");
  if (!file) return;
  uint32_t count = 0;
  checks.expect(file->seek(3) && file->write("LO!", 3, &count) && count == 3, "a write at an offset");
  uint64_t size = 0;
  checks.expect(file->size(&size) && size == 6, "a write past the end extends the file");
  char buffer[16] = {};
  checks.expect(file->seek(1) && file->read(buffer, sizeof buffer, &count), "a read longer than the rest succeeds");
  checks.expectEqual(std::string(buffer, count), "elLO!", "the read returns the rest of the file");
  checks.expect(file->read(buffer, sizeof buffer, &count) && count == 0, "a read at the end gives 0 bytes and success");
  checks.expect(!file->seek(-10), "a seek before the start fails");
  checks.expectError(kWinErrorNegativeSeek, "a seek before the start");
  checks.expect(file->seek(10) && file->write("z", 1, &count) && count == 1, "a write beyond the end");
  checks.expect(file->size(&size) && size == 11, "the gap before a write beyond the end counts");
  checks.expect(file->close(), "close reports success");
  file.reset();
  checks.expectEqual(readWholeFile(os, path), std::string("helLO!\0\0\0\0z", 11), "the gap reads as zero bytes");
}

// A new file: created only where none is, dated now, moved onto a file only when asked to.
void checkNewFileMovedIntoPlace(Checks& checks, const std::string& scratch) {
  Os& os = checks.os;
  const std::string partial = scratch + "Partial.tmp";
  const std::string target = scratch + "Target.bin";
  const uint64_t before = os.systemTimeAsFileTime() - 2 * 10000000ull; // times are kept to 2 s
  std::unique_ptr<OsFile> file = os.openFile(partial, FileAccess::Write, FileShare::None, FileCreation::CreateNew);
  uint32_t count = 0;
  checks.expect(file && file->write("new", 3, &count) && file->flush() && file->close(), "CreateNew, write, flush");
  file.reset();
  checks.expect(!os.openFile(partial, FileAccess::Write, FileShare::None, FileCreation::CreateNew),
                "CreateNew refuses an existing file");
  checks.expectError(kWinErrorFileExists, "CreateNew of an existing file");
  FoundFile found;
  checks.expect(os.findFirstFile(partial, &found) && std::min(found.creationTime, found.lastWriteTime) >= before &&
                    os.systemTimeAsFileTime() - os.tickCount64() * 10000 < before,
                "a new file is dated now, and the system started before");
  checks.expect(writeWholeFile(os, target, "old content") && !os.moveFileEx(partial, target, 0),
                "moveFileEx without replacing refuses an existing file");
  checks.expectError(kWinErrorAlreadyExists, "moveFileEx onto an existing file");
  checks.expect(os.moveFileEx(partial, target, kMoveFileReplaceExisting | kMoveFileWriteThrough) &&
                    readWholeFile(os, target) == "new" && !os.findFirstFile(partial, &found),
                "moveFileEx replaces the file with the moved one");
}

void checkShortNames(Checks& checks, const std::string& scratch) {
  Os& os = checks.os;
  const std::string longPath = scratch + "Long Contract Name.text";
  checks.expect(writeWholeFile(os, longPath, "long"), "a file with a long name is written");
  const std::string shortPath = os.shortPathName(longPath, kMaxPath);
  checks.expect(!shortPath.empty(), "shortPathName of an existing long name");
  const size_t slash = shortPath.rfind('\\');
  const std::string component = slash == std::string::npos ? shortPath : shortPath.substr(slash + 1);
  checks.expect(isValidShortComponent(component), "the short component is an 8.3 name: " + component);
  checks.expect(component.find('~') != std::string::npos, "the generated alias holds a '~': " + component);
  checks.expect(component.size() > 4 && component.substr(component.size() - 4) == ".TEX",
                "the alias keeps three upper-cased extension letters: " + component);
  FoundFile found;
  checks.expect(os.findFirstFile(shortPath, &found), "findFirstFile by the short path");
  checks.expectEqual(found.name, "Long Contract Name.text", "findFirstFile by alias reports the long name");
  checks.expectEqual(readWholeFile(os, shortPath), "long", "the short path opens the long file");
  checks.expect(os.shortPathName(longPath, static_cast<uint32_t>(shortPath.size())).empty(),
                "shortPathName needs room for its NUL");
  checks.expect(os.shortPathName(scratch + "Missing Long Name.txt", kMaxPath).empty(), "shortPathName of a missing file");
  checks.expectError(kWinErrorFileNotFound, "shortPathName of a missing file");
}

void checkProfile(Checks& checks, const std::string& scratch) {
  Os& os = checks.os;
  const std::string file = scratch + "contract.ini";
  checks.expectEqual(os.getPrivateProfileString("boot", "SCRNSAVE.EXE", "none", 2048, file), "none",
                     "a missing profile file gives the default");
  checks.expect(os.writePrivateProfileString("boot", "SCRNSAVE.EXE", "C:\\ONE.SCR", file), "a profile value is written");
  checks.expectEqual(os.getPrivateProfileString("boot", "SCRNSAVE.EXE", "", 2048, file), "C:\\ONE.SCR",
                     "the value reads back");
  checks.expect(os.writePrivateProfileString("BOOT", "scrnsave.exe", "C:\\TWO.SCR", file), "a value is replaced");
  checks.expectEqual(os.getPrivateProfileString("Boot", "ScrnSave.Exe", "", 2048, file), "C:\\TWO.SCR",
                     "sections and keys are case-blind and the value was replaced");
  checks.expect(os.writePrivateProfileString("boot", "shell", "Explorer.exe", file), "a second key is written");
  checks.expect(os.writePrivateProfileString("other", "key", "value", file), "a second section is written");
  checks.expectEqual(os.getPrivateProfileString("boot", "SCRNSAVE.EXE", "", 2048, file), "C:\\TWO.SCR",
                     "the first key keeps its value beside others");
  checks.expectEqual(os.getPrivateProfileString("boot", "shell", "", 2048, file), "Explorer.exe", "the second key");
  checks.expectEqual(os.getPrivateProfileString("other", "key", "", 2048, file), "value", "the second section");
  checks.expectEqual(os.getPrivateProfileString("other", "missing", "fallback", 2048, file), "fallback",
                     "a missing key gives the default");
  checks.expectEqual(os.getPrivateProfileString("boot", "shell", "", 5, file), "Expl",
                     "the value is cut to the buffer less its NUL");
}

void deleteContractKeys(Os& os) {
  os.regDeleteKey("SOFTWARE\\PanoquillContract\\Child");
  os.regDeleteKey("SOFTWARE\\PanoquillContract");
}

void checkRegistry(Checks& checks) {
  Os& os = checks.os;
  deleteContractKeys(os); // left over by an interrupted run
  const std::string parentPath = "SOFTWARE\\PanoquillContract";
  const std::string childPath = parentPath + "\\Child";
  std::unique_ptr<OsRegistryKey> key;
  checks.expectResult(os.regOpenKey(parentPath, &key), static_cast<int32_t>(kWinErrorFileNotFound),
                      "regOpenKey of a missing key");
  checks.expectResult(os.regCreateKey(childPath, &key), 0, "regCreateKey creates a key and its parent");
  if (!key) return;
  checks.expectResult(key->setString("DisplayName", "Contract Screen Saver"), 0, "setString");
  std::string value;
  checks.expectResult(key->getString("displayname", &value), 0, "getString is case-blind");
  checks.expectEqual(value, "Contract Screen Saver", "getString reads the value");
  checks.expectResult(key->setString("DisplayName", "Replaced"), 0, "setString replaces");
  checks.expectResult(key->getString("DisplayName", &value), 0, "getString after replacing");
  checks.expectEqual(value, "Replaced", "the replaced value");
  checks.expectResult(key->getString("Missing", &value), static_cast<int32_t>(kWinErrorFileNotFound),
                      "getString of a missing value");
  checks.expectResult(key->deleteValue("DisplayName"), 0, "deleteValue");
  checks.expectResult(key->deleteValue("DisplayName"), static_cast<int32_t>(kWinErrorFileNotFound),
                      "deleteValue of a missing value");
  checks.expectResult(key->close(), 0, "close of a key");
  key.reset();

  checks.expectResult(os.regOpenKey("software\\panoquillcontract", &key), 0, "regOpenKey is case-blind");
  if (key) {
    uint32_t count = 0;
    checks.expectResult(key->subkeyCount(&count), 0, "subkeyCount");
    checks.expect(count == 1, "the parent has one subkey");
    std::string name;
    checks.expectResult(key->enumerateSubkey(0, &name), 0, "enumerateSubkey of the first subkey");
    checks.expectEqual(name, "Child", "enumerateSubkey names the subkey as created");
    checks.expectResult(key->enumerateSubkey(1, &name), static_cast<int32_t>(kWinErrorNoMoreItems), "enumerateSubkey past the end");
    key.reset();
  }
  checks.expectResult(os.regDeleteKey(parentPath), static_cast<int32_t>(kWinErrorAccessDenied),
                      "regDeleteKey refuses a key with subkeys");
  checks.expectResult(os.regDeleteKey(childPath), 0, "regDeleteKey of the subkey");
  checks.expectResult(os.regDeleteKey(parentPath), 0, "regDeleteKey of the emptied parent");
  checks.expectResult(os.regOpenKey(parentPath, &key), static_cast<int32_t>(kWinErrorFileNotFound),
                      "a deleted key is gone");
  checks.expectResult(os.regDeleteKey(parentPath), static_cast<int32_t>(kWinErrorFileNotFound),
                      "regDeleteKey of a missing key");
}

void checkWindowsLibrariesAndMessages(Checks& checks, const std::string& scratch) {
  Os& os = checks.os;
  checks.expect(os.findWindow("Panoquill contract: no window has this title") == 0, "findWindow of a missing title");
  checks.expect(!os.loadLibrary(scratch + "missing.dll"), "loadLibrary of a missing file fails");
  checks.expectError(kWinErrorModNotFound, "loadLibrary of a missing file");

  const std::string notFound = os.systemMessage(kWinErrorFileNotFound, 256);
  checks.expect(notFound.size() > 3 && notFound.compare(notFound.size() - 3, 3, ".\r\n") == 0,
                "systemMessage(2) ends in \".\\r\\n\": \"" + notFound + "\"");
  checks.expect(os.systemMessage(static_cast<uint32_t>(-34), 256).empty(),
                "systemMessage of an installer code is empty");
}

} // namespace

std::vector<std::string> runOsContract(Os& os, const std::string& scratchDir) {
  Checks checks(os);
  checkDirectories(checks);
  checkFindAndDelete(checks, scratchDir);
  checkFindFiles(checks, scratchDir);
  checkReadOnly(checks, scratchDir);
  checkCopy(checks, scratchDir);
  checkOpenReadWrite(checks, scratchDir);
  checkNewFileMovedIntoPlace(checks, scratchDir);
  checkShortNames(checks, scratchDir);
  checkProfile(checks, scratchDir);
  checkRegistry(checks);
  checkLockFile(checks, scratchDir);
  checkWindowsLibrariesAndMessages(checks, scratchDir);
  return checks.failures;
}

} // namespace pqtest
