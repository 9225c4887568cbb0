// Start and end of a run: the installer's paths, the temporary copy and its directory table,
// the mode with its captions, and the removal of the copy at close.
#include <memory>
#include <vector>

#include "errors/logFile.h"
#include "errors/messages.h"
#include "installer/fInstall.h"
#include "platform/win_path.h"
#include "system/file_removal.h"

namespace {

// The window caption always drops exactly four characters, whatever the extension's length.
std::string withoutLastFourCharacters(const std::string& name) {
  return name.size() <= 4 ? std::string() : name.substr(0, name.size() - 4);
}

// A hostile table could name "..\..\something" and make install, uninstall or rollback write
// or delete outside the folders they own; such an archive is as unusable as a damaged one.
bool entryNamesAreSafe() {
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    if (!pq::isSafeEntryName(entryNameAt(index))) return false;
  }
  return true;
}

TResult readDirectoryTable(const std::string& installerPath, std::unique_ptr<pq::OsFile>* heldCopy) {
  pq::Os& os = pq::os();
  std::unique_ptr<pq::OsFile> copy =
      os.openFile(pathTempFile, pq::FileAccess::Read, pq::FileShare::Read, pq::FileCreation::OpenExisting);
  if (!copy || !copy->seek(DIRECTORY_OFFSET)) {
    const TResult code = failureCode(os.lastError());
    showInstallError(code, installerPath);
    return code;
  }

  logLine("bytesToRead: " + std::to_string(kDirectoryTableSize));
  std::vector<uint8_t> table(kDirectoryTableSize, 0);
  uint32_t bytesRead = 0;
  if (!copy->read(table.data(), kDirectoryTableSize, &bytesRead)) {
    const TResult code = failureCode(os.lastError());
    showInstallError(code, installerPath);
    return code;
  }
  logLine("bytesRead: " + std::to_string(bytesRead));
  decodeDirectoryTable(table.data(), installerDirectory.entries);

  // The user is told the installer may be damaged, while the caller learns the table was short.
  if (bytesRead < static_cast<uint32_t>(kDirectoryTableSize) || !entryNamesAreSafe()) {
    showInstallError(kErr_InstallerCorrupted, installerPath);
    return kErr_DirectoryShort;
  }
  *heldCopy = std::move(copy);
  return 0;
}

// Start-up's copies of the installer are named kCopyPrefix + a decimal number from 1 up +
// kCopySuffix, in the Windows directory.
const char* const kCopyPrefix = "KWRXtemp";
const char* const kCopySuffix = ".dat";

std::string temporaryCopyPath(int number) { return pathWindows + kCopyPrefix + std::to_string(number) + kCopySuffix; }

// The names start-up gives its copies, in any case, and nothing else.
bool isTemporaryCopyName(const std::string& name) {
  const std::string lower = pq::asciiLower(name);
  const std::string prefix = pq::asciiLower(kCopyPrefix);
  const std::string suffix = pq::asciiLower(kCopySuffix);
  if (lower.size() <= prefix.size() + suffix.size()) return false;
  if (lower.compare(0, prefix.size(), prefix) != 0) return false;
  if (lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
  const std::string number = lower.substr(prefix.size(), lower.size() - prefix.size() - suffix.size());
  if (number[0] == '0') return false;
  return number.find_first_not_of("0123456789") == std::string::npos;
}

// A run that was killed or crashed leaves its copy (the whole installer) in the Windows
// directory. A running installer holds its copy open, so its deletion fails and it stays.
void removeAbandonedCopies() {
  std::vector<pq::FoundFile> found;
  if (!pq::os().findFiles(pathWindows + kCopyPrefix + "*" + kCopySuffix, &found)) return;
  for (const pq::FoundFile& file : found) {
    if ((file.attributes & pq::kFileAttributeDirectory) != 0 || !isTemporaryCopyName(file.name)) continue;
    myDeleteFile(pathWindows + file.name, ShowError::No);
  }
}

} // namespace

void initInstallerPaths(std::string& installerPath) {
  LogOperation trace("initInstallerPaths", installerPath);
  pq::Os& os = pq::os();
  installerPath = os.executablePath();
  pathInstallerDir = pq::extractFilePath(installerPath);
  pathWindows = pq::includeTrailingBackslash(os.windowsDirectory(pq::kDirectoryBufferChars));
  pathInstallerDir = pq::includeTrailingBackslash(pathInstallerDir);

  // The first free name from KWRXtemp1.dat upwards, once the left-overs are gone: only the
  // copies of installers still running keep their numbers.
  removeAbandonedCopies();
  int number = 1;
  pathTempFile = temporaryCopyPath(number);
  while (fileExists(pathTempFile)) pathTempFile = temporaryCopyPath(++number);

  pathSYS = pq::includeTrailingBackslash(os.systemDirectory(pq::kDirectoryBufferChars));
  logLine("pathSYS " + pathSYS);
  logLine("pathWindows " + pathWindows);
  logLine("pathInstaller " + installerPath);
  logLine("pathTempFile " + pathTempFile);
}

TResult openInstallerArchive(const std::string& installerPath, std::unique_ptr<pq::OsFile>* heldCopy) {
  TResult result = 0;
  LogOperation trace("openInstallerArchive", installerPath, &result);
  logLine("pathInstaller: " + installerPath);

  result = myDeleteFile_WaitUntilNotBusy(pathTempFile, ShowError::Yes, kBusyFileAttempts);
  if (result != 0) return result;

  if (!pq::os().copyFile(installerPath, pathTempFile, false)) {
    result = failureCode(pq::os().lastError());
    showSystemError(result, "Problem copying " + installerPath + " to " + pathTempFile + ". ");
    return result;
  }

  result = readDirectoryTable(installerPath, heldCopy);
  return result;
}

void TForm1::FormCreate(void*) {
  LogOperation trace("FormCreate", "");
  isBusy = 0;
  initInstallerPaths(pathInstaller);
  logOpen(pq::changeFileExt(pathTempFile, ".log"));

  const TResult result = openInstallerArchive(pathInstaller, &heldCopy);
  if (result != 0) {
    // Only Done is left; the window keeps its laid-out captions and the mode bytes stay 0.
    setEnabled(butInstall, false);
    setEnabled(Remove, false);
  } else {
    const std::string mainFileName = entryNameAt(kMainEntry);
    logLine("mainFileName := " + mainFileName);
    if (isScreenSaverName(mainFileName)) {
      isScreenSaver = 1;
      completionKind = kCompletion_ScreenSaver;
    } else {
      isScreenSaver = 0;
      completionKind = kCompletion_Movie;
    }
    // One step per extracted entry: extraction sets the position to the entry index.
    setProgressMax(kLastExtractedEntry);
    setVisible(statusLabel, false);

    if (isScreenSaver == 1) {
      setCaption(butInstall, "Install Screen Saver");
      pathUninstall = pathWindows;
      setCaption(form, "Screen Saver Installation: " + withoutLastFourCharacters(mainFileName));
    } else {
      setCaption(butInstall, "Install Movie");
      pathUninstall = pq::extractFilePath(pathInstaller);
      setCaption(labStatus, movieInstalledText());
      setCaption(form, "Movie Installation: " + withoutLastFourCharacters(mainFileName));
    }
  }

  setVisible(labStatus, false);
  pq::os().setAppCursor(pq::AppCursor::Default);
}

void TForm1::FormClose(void*, TCloseAction&) {
  {
    LogOperation trace("FormClose", pathTempFile);
    // Our own hold goes first; one attempt then: a copy someone else locks is reported and the
    // window closes anyway.
    heldCopy.reset();
    myDeleteFile(pathTempFile, ShowError::Yes);
  }
  // The log stays beside where the copy was, for support to read.
  logClose();
}
