// The install button: the screen-saver and movie installations and the prompt that follows
// a successful one.
#include "errors/logFile.h"
#include "installer/action_lock.h"
#include "installer/fInstall.h"
#include "system/quicktime.h"
#include "system/saver_activation.h"
#include "system/uninstall_registration.h"

namespace {

// 0, or -200 when the data file asks for more QuickTime than the machine has. A data file
// that cannot be read has been reported and asks for nothing.
TResult checkQuickTimeRequirement(const std::string& dataFilePath) {
  const int32_t level = readRequiredQuickTimeLevel(dataFilePath);
  if (level > 0) return checkQuickTime(level);
  return 0;
}

} // namespace

void TForm1::butInstallClick(void*) {
  LogOperation trace("butInstallClick", "");
  // A disabled button takes no clicks; the archive behind it is unusable.
  if (isBusy != 0 || !butInstall.enabled) return;
  TResult result = 0;
  {
    // Held for every change to the machine; the prompt after it only asks.
    ActionLock lock;
    if (lock.acquire() != 0) return;
    isBusy = 1;
    setCursorToWaitCursor();
    initInstallerProgressBarInfo();
    result = isScreenSaver == 1 ? doInstallSaver() : installMovieFromInstaller();
    setFinalInstallerProgressBarInfo(result);
    resetCursor();
  }
  // The prompt comes with the final texts in place and the normal cursor, while isBusy
  // still keeps both action buttons quiet.
  if (result == 0) showCompletionPrompt(completionKind);
  isBusy = 0;
  closeIfAsked();
}

TResult TForm1::doInstallSaver() {
  TResult result = 0;
  LogOperation trace("doInstallSaver", "", &result, "installSaverFromBuilder");
  const std::string pathSaverDatafile = pathWindows + installedNameAt(kDataEntry);
  const std::string pathSaver = saverPathFromDirectory();

  // An open Display Properties window or an active old copy would keep the saver file busy.
  closeDisplayControlPanel();
  deactivateSaver(pathSaver);

  result = installFiles(pathTempFile);
  if (result == 0) result = checkQuickTimeRequirement(pathSaverDatafile);
  if (result == 0) {
    updateStatusBar("Updating system parameters...", true);
    result = makeActiveSaver(pathSaver);
  }
  if (result == 0) {
    // Without an uninstall entry the saver still works: the installation counts as done.
    createUninstallKey(pathSaver);
  } else {
    doQuietUninstall(pathSaver, claimedDestinations);
  }
  return result;
}

TResult TForm1::installMovieFromInstaller() {
  TResult result = 0;
  LogOperation trace("installMovieFromInstaller", "", &result);
  // Entry 3 as extracted next to the installer; a copy in the Windows directory plays no part.
  const std::string movieDataFile = pathInstallerDir + installedNameAt(kDataEntry);
  result = installFiles(pathTempFile);
  if (result == 0) result = checkQuickTimeRequirement(movieDataFile);
  return result;
}

void TForm1::showCompletionPrompt(uint8_t kind) {
  LogOperation trace("showCompletionPrompt", std::to_string(kind));
  pq::Os& os = pq::os();
  // The window shows its final state behind the prompt.
  os.processMessages();
  // A close asked for during the action (or just now) ends the run without the question.
  if (closeRequested) return;
  if (kind == kCompletion_ScreenSaver) {
    const bool yes = os.messageBoxYesNo(
        "The screen saver installation was successful.\r\n\r\nWould you like to open the screen saver control panel now?",
        "Installation Successful. ");
    if (yes) {
      os.minimizeApplication();
      openScreenSaverControlPanel();
      Close();
    }
  } else if (kind == kCompletion_Movie) {
    const bool yes = os.messageBoxYesNo("Movie created as " + pathInstallerDir + installedNameAt(kMainEntry) + "\r\n\r\n" +
                                            "Would you like to open a window to this folder?",
                                        "Movie Installation Complete.");
    if (yes) {
      os.minimizeApplication();
      openPath(pathInstallerDir);
      Close();
    }
  }
}
