// The window helpers of the actions: status line, progress bar, detail label, the link and
// the cursors.
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

void TForm1::butDoneClick(void*) {
  LogOperation trace("butDoneClick", "");
  Close();
}

void TForm1::madeWithLabelClick(void*) {
  LogOperation trace("madeWithLabelClick", kProductPageUrl);
  // Default verb; nothing is reported when no browser opens. The installer runs elevated and
  // a browser it started itself would too: the desktop shell starts it as the signed-in user,
  // and only where there is no such shell does the installer start it.
  pq::Os& os = pq::os();
  if (!os.shellExecuteAsUser(kProductPageUrl, pq::kShowNormal)) os.shellExecute("", kProductPageUrl, pq::kShowNormal);
}

std::string movieInstalledText() { return "Movie installed as: \r\n\t" + pathUninstall + entryNameAt(kMainEntry); }

void TForm1::madeWithLabelMouseEnter(void*) {
  LogOperation trace("madeWithLabelMouseEnter", "");
  isOverLink = 1;
  savedLinkCursor = pq::os().appCursor();
  pq::os().setAppCursor(pq::AppCursor::HandPoint);
  setLinkColor(pq::SystemColor::Highlight);
}

void TForm1::madeWithLabelMouseLeave(void*) {
  LogOperation trace("madeWithLabelMouseLeave", "");
  isOverLink = 0;
  setLinkColor(pq::SystemColor::WindowText);
  pq::os().setAppCursor(savedLinkCursor);
}

// The link keeps its own saved cursor, so hovering it during an action cannot disturb the
// restore of the cursor saved here. An action that starts or ends while the pointer rests on
// the link hands the two over: the hand is the link's, never the cursor to come back to, and
// leaving the link restores the cursor of the moment, the hourglass only while an action runs.
void setCursorToWaitCursor() {
  LogOperation trace("setCursorToWaitCursor", "");
  pq::Os& os = pq::os();
  if (isOverLink != 0) {
    savedCursor = savedLinkCursor;
    savedLinkCursor = pq::AppCursor::Wait;
  } else {
    savedCursor = os.appCursor();
  }
  os.setAppCursor(pq::AppCursor::Wait);
}

void resetCursor() {
  LogOperation trace("resetCursor", "");
  if (isOverLink != 0) {
    savedLinkCursor = savedCursor;
    pq::os().setAppCursor(pq::AppCursor::HandPoint);
    return;
  }
  pq::os().setAppCursor(savedCursor);
}
