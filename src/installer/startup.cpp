// Start and end of a run: the installer's paths, the directory table read from the temporary
// copy (temporary_copy.h), the mode with its captions, and the copy's removal at close.
#include <memory>
#include <vector>

#include "archive/partial_files.h"
#include "errors/logFile.h"
#include "errors/messages.h"
#include "installer/action_lock.h"
#include "installer/fInstall.h"
#include "installer/temporary_copy.h"
#include "platform/win_path.h"

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
  // A file-system failure is shown with its error number for the installer.
  const auto failed = [&installerPath] {
    const TResult code = failureCode(pq::os().lastError());
    showInstallError(code, installerPath);
    return code;
  };
  std::unique_ptr<pq::OsFile> copy = openTemporaryCopy(pathTempFile);
  if (!copy || !copy->seek(DIRECTORY_OFFSET)) return failed();

  logLine("bytesToRead: " + std::to_string(kDirectoryTableSize));
  std::vector<uint8_t> table(kDirectoryTableSize, 0);
  uint32_t bytesRead = 0;
  if (!copy->read(table.data(), kDirectoryTableSize, &bytesRead)) return failed();
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

// Partial files that a killed installation left in the folders installations write to go
// while no action runs: a running one may be writing its own, and none can start while the
// lock is ours.
void removeAbandonedPartialFilesWhileIdle() {
  ActionLock lock;
  if (lock.acquire(ShowError::No) != 0) return;
  removeAbandonedPartialFiles({pathWindows, pathInstallerDir});
}

} // namespace

void initInstallerPaths(std::string& installerPath) {
  LogOperation trace("initInstallerPaths", installerPath);
  pq::Os& os = pq::os();
  installerPath = os.executablePath();
  pathInstallerDir = pq::extractFilePath(installerPath);
  pathWindows = pq::includeTrailingBackslash(os.windowsDirectory(pq::kDirectoryBufferChars));
  pathInstallerDir = pq::includeTrailingBackslash(pathInstallerDir);

  pathTempFile = chooseTemporaryCopyPath(pathWindows);

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

  result = createTemporaryCopy(installerPath, pathTempFile);
  if (result != 0) return result;
  result = readDirectoryTable(installerPath, heldCopy);
  return result;
}

void TForm1::FormCreate(void*) {
  LogOperation trace("FormCreate", "");
  isBusy = 0;
  initInstallerPaths(pathInstaller);
  logOpen(pq::changeFileExt(pathTempFile, ".log"));
  removeAbandonedPartialFilesWhileIdle();

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
    removeTemporaryCopy(&heldCopy, pathTempFile);
  }
  // The log stays beside where the copy was, for support to read.
  logClose();
}
