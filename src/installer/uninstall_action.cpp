// The Un-Install button: releases and unregisters the saver, then removes the installed
// files except the shared libraries. It reports nothing and always ends complete.
#include "errors/logFile.h"
#include "installer/action_lock.h"
#include "installer/fInstall.h"
#include "platform/win_path.h"
#include "system/file_removal.h"
#include "system/saver_activation.h"
#include "system/uninstall_registration.h"

namespace {

// The pause between uninstall steps: a fixed amount of work, not a time.
constexpr int32_t kPauseIterations = 10000000;

// Libraries are stored under ".dat" names and shared with other savers: they always stay.
// In movie mode the data file stays beside the movie as well.
bool entryIsRemovedOnUninstall(const std::string& name) {
  const std::string extension = pq::normalizedExtension(name);
  if (extension == kStoredLibraryExtension) return false;
  if (extension == ".ssd" && isScreenSaver != 1) return false;
  return true;
}

} // namespace

void TForm1::butUnInstallClick(void*) {
  LogOperation trace("butUnInstallClick", "");
  // A disabled button takes no clicks; the archive behind it is unusable.
  if (isBusy != 0 || !Remove.enabled) return;
  ActionLock lock;
  if (lock.acquire() != 0) return;
  setCursorToWaitCursor();
  isBusy = 1;
  setVisible(labStatus, false);
  setCaption(statusLabel, "Un-Installing ...");
  setVisible(statusLabel, true);

  if (isScreenSaver == 1) {
    closeDisplayControlPanel();
    deactivateSaver(saverPathFromDirectory());
    deleteUninstallKey(screenSaverName(saverPathFromDirectory()));
  }

  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    const std::string name = entryNameAt(index);
    setProgressPosition(index);
    setCaption(statusLabel, "Deleting " + name);
    pq::os().processMessages();
    // Whatever cannot be removed stays, silently.
    if (entryIsRemovedOnUninstall(name)) myDeleteFile(pathUninstall + installedNameAt(index), ShowError::No);
    pauseBriefly();
  }

  resetCursor();
  isBusy = 0;
  setCaption(statusLabel, "Un-Installation Complete.");
  setProgressPosition(0);
  closeIfAsked();
}

void TForm1::pauseBriefly() {
  LogOperation trace("pauseBriefly", "");
  // volatile keeps the optimiser from folding the loop away.
  volatile int32_t counter = 0;
  while (counter < kPauseIterations) counter = counter + 1;
}
