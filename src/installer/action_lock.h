// One install or uninstall action at a time on the whole machine. Two installers of the same
// saver started together (or one started twice) would otherwise replace, roll back and
// unregister each other's files half way; the saver's own /u takes the same lock.
//
// The lock is a file in the Windows directory, opened with no sharing and deleted by the
// system when its handle closes, also when its holder is killed. Only administrators may
// create files there, so no program of a standard user can hold or squat it, as any user
// could a named kernel object; and it never outlives its holder.
//
// An action cut off half way would leave a machine neither installed nor uninstalled, so the
// holder also keeps the session from ending until it lets go.
#pragma once

#include <memory>

#include "errors/result_codes.h"
#include "platform/os.h"
#include "system/file_removal.h"

// The lock file's name in the Windows directory (unlike the temporary copies' names, which
// start-up removes when nobody holds them).
inline constexpr char kActionLockFileName[] = "PanoquillInstallerAction.lock";

class ActionLock {
public:
  ActionLock() = default;
  ~ActionLock();
  ActionLock(const ActionLock&) = delete;
  ActionLock& operator=(const ActionLock&) = delete;

  // 0 when this program now holds the lock, until the object goes. Otherwise -40, shown when
  // asked: another action runs, or the lock cannot be had, which is treated the same way so
  // that nothing is changed while another action might be running. While the lock is held,
  // the session does not end either: a log-off or shutdown waits, with kShutdownBlockReason.
  TResult acquire(ShowError show = ShowError::Yes);

private:
  std::unique_ptr<pq::OsFile> file;
};

// What the system tells a user who logs off or shuts down while an action runs.
inline constexpr char kShutdownBlockReason[] =
    "An installation or un-installation is running. Please wait until it has finished.";
