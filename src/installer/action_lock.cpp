#include "installer/action_lock.h"

#include "errors/logFile.h"
#include "errors/messages.h"
#include "installer/fInstall.h"

ActionLock::~ActionLock() {
  if (!file) return;
  pq::os().allowShutdown();
  file.reset();
}

TResult ActionLock::acquire(ShowError show) {
  TResult result = kErr_None;
  const std::string path = pathWindows + kActionLockFileName;
  LogOperation trace("ActionLock.acquire", path, &result);
  // A lock left on disk by a holder that lost power is no one's: opening it takes it over.
  file = pq::os().openLockFile(path);
  if (!file) {
    result = kErr_ActionRunning;
    if (show == ShowError::Yes) showInstallError(result, "");
    return result;
  }
  // Without a reason shown the session is held all the same.
  pq::os().blockShutdown(kShutdownBlockReason);
  return result;
}
