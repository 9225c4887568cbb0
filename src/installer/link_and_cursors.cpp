// The "Made with" link and the application-wide cursors: the hand over the link, the
// hourglass of an action, and how the two hand over to each other.
#include "errors/logFile.h"
#include "installer/fInstall.h"

void TForm1::madeWithLabelClick(void*) {
  LogOperation trace("madeWithLabelClick", kProductPageUrl);
  // Default verb; nothing is reported when no browser opens. The installer runs elevated and
  // a browser it started itself would too: the desktop shell starts it as the signed-in user,
  // and only where there is no such shell does the installer start it.
  pq::Os& os = pq::os();
  if (!os.shellExecuteAsUser(kProductPageUrl, pq::kShowNormal)) os.shellExecute("", kProductPageUrl, pq::kShowNormal);
}

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
