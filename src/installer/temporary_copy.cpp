#include "installer/temporary_copy.h"

#include <vector>

#include "errors/messages.h"
#include "platform/win_path.h"
#include "system/file_removal.h"

namespace {

// The copies are named kCopyPrefix + a decimal number from 1 up + kCopySuffix.
const char* const kCopyPrefix = "KWRXtemp";
const char* const kCopySuffix = ".dat";

std::string temporaryCopyPath(const std::string& windowsDirectory, int number) {
  return windowsDirectory + kCopyPrefix + std::to_string(number) + kCopySuffix;
}

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
void removeAbandonedCopies(const std::string& windowsDirectory) {
  std::vector<pq::FoundFile> found;
  if (!pq::os().findFiles(windowsDirectory + kCopyPrefix + "*" + kCopySuffix, &found)) return;
  for (const pq::FoundFile& file : found) {
    if ((file.attributes & pq::kFileAttributeDirectory) != 0 || !isTemporaryCopyName(file.name)) continue;
    myDeleteFile(windowsDirectory + file.name, ShowError::No);
  }
}

} // namespace

std::string chooseTemporaryCopyPath(const std::string& windowsDirectory) {
  removeAbandonedCopies(windowsDirectory);
  int number = 1;
  std::string path = temporaryCopyPath(windowsDirectory, number);
  while (fileExists(path)) path = temporaryCopyPath(windowsDirectory, ++number);
  return path;
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
