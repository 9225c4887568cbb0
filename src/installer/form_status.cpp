// The window helpers of the actions: the status line, the progress bar and the detail label.
#include "errors/logFile.h"
#include "installer/fInstall.h"

namespace {

std::string detailTextFor(TResult code) {
  switch (code) {
  case kErr_QuickTimeRequired:
    return std::string("Requires QuickTime. Please download the latest version of QuickTime, available free from ") +
           kQuickTimeVendorHost + ", and try again.";
  case kErr_CannotActivate:
    return "Cannot activate screen saver.";
  default:
    return "File may be corrupted.";
  }
}

} // namespace

void TForm1::updateStatusBar(const std::string& text, bool step) {
  LogOperation trace("updateStatusBar", text);
  setCaption(statusLabel, text);
  // The action does not return to the message loop here, so the line is painted at once.
  if (view != nullptr) view->repaintNow(*this, ControlId::statusLabel);
  if (step && progressBar.position < progressBar.max) stepProgress();
}

void TForm1::initInstallerProgressBarInfo() {
  LogOperation trace("initInstallerProgressBarInfo", "");
  setVisible(statusLabel, true);
  setCaption(statusLabel, "Copying...");
  setVisible(labStatus, false);
}

void TForm1::setFinalInstallerProgressBarInfo(TResult code) {
  LogOperation trace("setFinalInstallerProgressBarInfo", std::to_string(code));
  if (code == 0) {
    setCaption(statusLabel, "Installation Successful.");
    // An earlier failure of this run may have put its detail text there.
    if (isScreenSaver == 0) {
      setCaption(labStatus, movieInstalledText());
      setVisible(labStatus, true);
    }
  } else {
    setCaption(statusLabel, "Installation Failed.");
    setCaption(labStatus, detailTextFor(code));
    setVisible(labStatus, true);
  }
  setProgressPosition(0);
}

std::string movieInstalledText() { return "Movie installed as: \r\n\t" + pathUninstall + installedNameAt(kMainEntry); }
