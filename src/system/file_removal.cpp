#include "system/file_removal.h"

#include "errors/logFile.h"
#include "errors/messages.h"
#include "platform/os.h"
#include "platform/win_path.h"

// A lookup that fails for any reason finds nothing: a folder we may not list, a broken network
// path. Removal then goes on as for a missing file; whatever really stands there is met by the
// create that follows, with that call's own error, or stays where nothing is replaced.
bool fileExists(const std::string& path) {
  pq::FoundFile found;
  if (!pq::os().findFirstFile(path, &found)) return false;
  // A directory does not count: removal never touches one.
  return (found.attributes & pq::kFileAttributeDirectory) == 0;
}

namespace {

enum class BusyCode { General, SaverAware };

TResult busyResult(const std::string& path, BusyCode busyCode) {
  if (busyCode == BusyCode::SaverAware && pq::asciiLower(pq::extractFileExt(path)) == ".scr") {
    return kErr_SaverBusy;
  }
  return kErr_FileBusy;
}

// One removal attempt: delete; failing that, clear read-only and the other attribute bits
// that block deletion and delete again.
TResult removalAttempt(const std::string& path, BusyCode busyCode) {
  if (!fileExists(path)) return kErr_None;
  pq::Os& os = pq::os();
  if (os.deleteFile(path)) return kErr_None;
  // Whether the reset works is not checked: the second deletion decides.
  os.setFileAttributes(path, pq::kFileAttributeNormal);
  if (os.deleteFile(path)) return kErr_None;
  return busyResult(path, busyCode);
}

void showIfAsked(TResult result, const std::string& path, ShowError show) {
  if (result != kErr_None && show == ShowError::Yes) showInstallError(result, path);
}

} // namespace

TResult myDeleteFile_WaitUntilNotBusy(const std::string& path, ShowError show, int32_t attempts) {
  // The holder of a busy file usually lets go within a few thousand tries; the attempts
  // follow each other without a pause, so the count alone bounds the wait.
  TResult result = kErr_Unspecified;
  LogOperation trace("myDeleteFile_WaitUntilNotBusy", path, &result);
  while (attempts > 0 && result != kErr_None) {
    result = removalAttempt(path, BusyCode::SaverAware);
    --attempts;
  }
  showIfAsked(result, path, show);
  return result;
}

namespace {

// The single-attempt removal behind both names; only the name in the trace differs.
TResult singleRemoval(const char* operation, const std::string& path, ShowError show) {
  TResult result = kErr_None;
  LogOperation trace(operation, path, &result);
  result = removalAttempt(path, BusyCode::General);
  showIfAsked(result, path, show);
  return result;
}

} // namespace

TResult myDeleteFile(const std::string& path, ShowError show) { return singleRemoval("myDeleteFile", path, show); }

TResult deleteQuietly(const std::string& path, ShowError show) { return singleRemoval("deleteQuietly", path, show); }
