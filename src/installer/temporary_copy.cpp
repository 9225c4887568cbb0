#include "installer/temporary_copy.h"

#include <vector>

#include "errors/messages.h"
#include "system/file_removal.h"
#include "system/numbered_files.h"

namespace {

// The copies are named "KWRXtemp" + a decimal number from 1 up + ".dat".
constexpr NumberedName kCopyName{"KWRXtemp", ".dat"};

// A run that was killed or crashed leaves its copy (the whole installer) in the Windows
// directory. A running installer holds its copy open, so its deletion fails and it stays.
void removeAbandonedCopies(const std::string& windowsDirectory) {
  for (const pq::FoundFile& file : numberedFiles(windowsDirectory, kCopyName)) {
    myDeleteFile(windowsDirectory + file.name, ShowError::No);
  }
}

} // namespace

std::string chooseTemporaryCopyPath(const std::string& windowsDirectory) {
  removeAbandonedCopies(windowsDirectory);
  return firstFreeNumberedPath(windowsDirectory, kCopyName);
}

TResult createTemporaryCopy(const std::string& installerPath, const std::string& copyPath) {
  TResult result = myDeleteFile_WaitUntilNotBusy(copyPath, ShowError::Yes, kBusyFileAttempts);
  if (result != 0) return result;
  if (!pq::os().copyFile(installerPath, copyPath, false)) {
    result = failureCode(pq::os().lastError());
    showSystemError(result, "Problem copying " + installerPath + " to " + copyPath + ". ");
  }
  return result;
}

std::unique_ptr<pq::OsFile> openTemporaryCopy(const std::string& copyPath) {
  return pq::os().openFile(copyPath, pq::FileAccess::Read, pq::FileShare::Read, pq::FileCreation::OpenExisting);
}

void removeTemporaryCopy(std::unique_ptr<pq::OsFile>* held, const std::string& copyPath) {
  // Our own hold goes first; one attempt then: a copy someone else locks is reported and the
  // window closes anyway.
  held->reset();
  myDeleteFile(copyPath, ShowError::Yes);
}
