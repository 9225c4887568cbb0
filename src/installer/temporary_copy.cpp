#include "installer/temporary_copy.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/directory.h"
#include "errors/messages.h"
#include "system/file_removal.h"
#include "system/numbered_files.h"

const char kHeldCopyMark[] = "Panoquill installer: holds its temporary copy while it runs.";

namespace {

// The mark is read through a pointer that the compiler cannot see through, so it stays whole
// in the program, where another installer's start-up looks for it, instead of being folded
// into the code that searches for it.
const char* volatile const heldCopyMark = kHeldCopyMark;

// When the system last started, in FoundFile's units.
uint64_t lastRestartTime() {
  pq::Os& os = pq::os();
  const uint64_t now = os.systemTimeAsFileTime();
  const uint64_t sinceRestart = os.tickCount64() * 10000;
  return now > sinceRestart ? now - sinceRestart : 0;
}

// Whether the program part of the copy at `path` carries the mark.
bool carriesHeldCopyMark(const std::string& path) {
  std::unique_ptr<pq::OsFile> copy = openTemporaryCopy(path);
  uint64_t size = 0;
  if (!copy || !copy->size(&size)) return false;
  std::vector<char> program(static_cast<size_t>(std::min<uint64_t>(size, DIRECTORY_OFFSET)));
  uint32_t bytesRead = 0;
  if (!copy->read(program.data(), static_cast<uint32_t>(program.size()), &bytesRead)) return false;
  const char* mark = heldCopyMark;
  const auto end = program.begin() + bytesRead;
  return std::search(program.begin(), end, mark, mark + std::strlen(mark)) != end;
}

// A run that was killed or crashed leaves its copy (the whole installer) in the Windows
// directory. A copy goes only when no installer can still be using it: a running installer of
// this build holds its own open, so its deletion fails and it stays; one of an older build does
// not, so a copy of a program without the mark stays until the system restarts, after which
// no installer that made it can be running.
void removeAbandonedCopies(const std::string& windowsDirectory) {
  const uint64_t restarted = lastRestartTime();
  for (const pq::FoundFile& file : numberedFiles(windowsDirectory, kTemporaryCopyName)) {
    const std::string path = windowsDirectory + file.name;
    // A copy's last-write time is its installer's; the later of the two times is when it was made.
    const bool madeSinceRestart = std::max(file.creationTime, file.lastWriteTime) >= restarted;
    if (madeSinceRestart && !carriesHeldCopyMark(path)) continue;
    myDeleteFile(path, ShowError::No);
  }
}

} // namespace

std::string chooseTemporaryCopyPath(const std::string& windowsDirectory) {
  removeAbandonedCopies(windowsDirectory);
  return firstFreeNumberedPath(windowsDirectory, kTemporaryCopyName);
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
