#include "installer/action_lock.h"

#include "errors/logFile.h"
#include "errors/messages.h"

const char* const kActionMutexName = "Global\\PanoquillInstallerAction";

TResult ActionLock::acquire() {
  TResult result = kErr_None;
  LogOperation trace("ActionLock.acquire", kActionMutexName, &result);
  mutex = pq::os().createMutex(kActionMutexName);
  // An action that was killed half way leaves the lock abandoned; its successor may go on.
  const pq::WaitResult wait = mutex ? mutex->wait(0) : pq::WaitResult::Failed;
  owned = wait == pq::WaitResult::Signaled || wait == pq::WaitResult::Abandoned;
  if (!owned) {
    result = kErr_ActionRunning;
    showInstallError(result, "");
  }
  return result;
}

ActionLock::~ActionLock() {
  if (owned) mutex->release();
}
