// One install or uninstall action at a time on the whole machine. Two installers of the same
// saver started together (or one started twice) would otherwise replace, roll back and
// unregister each other's files half way.
#pragma once

#include <memory>

#include "errors/result_codes.h"
#include "platform/os.h"

// The name every installer shares; "Global\" reaches the installers of every logged-on user.
extern const char* const kActionMutexName;

class ActionLock {
public:
  ActionLock() = default;
  ~ActionLock();
  ActionLock(const ActionLock&) = delete;
  ActionLock& operator=(const ActionLock&) = delete;

  // 0 when this program now holds the lock, until the object goes. Otherwise -40, already
  // shown: another action runs, or the lock cannot be had, which is treated the same way so
  // that nothing is changed while another action might be running.
  TResult acquire();

private:
  std::unique_ptr<pq::OsMutex> mutex;
  bool owned = false;
};
