// The window's laid-out controls, the setters that keep the renderer informed, and closing
// the window (Done, the close box).
#include "errors/logFile.h"
#include "installer/fInstall.h"

namespace {

TControl laidOut(ControlId id, const std::string& caption, int left, int top, int width, int height) {
  TControl control{id, caption, left, top, width, height};
  return control;
}

} // namespace

TForm1::TForm1(FormView* view)
    : Panel1(laidOut(ControlId::Panel1, "", 0, 0, 355, 160)),
      Panel2(laidOut(ControlId::Panel2, "", 0, 0, 355, 113)),
      labStatus(laidOut(ControlId::labStatus,
                        "Installer is damaged. Please try again with new copy of the installer.", 5, 55, 347, 50)),
      butInstall(laidOut(ControlId::butInstall, "&Install", 41, 17, 125, 29)),
      Remove(laidOut(ControlId::Remove, "Un-Install", 218, 18, 100, 29)),
      Done(laidOut(ControlId::Done, "Done", 281, 120, 70, 29)),
      Bevel1(laidOut(ControlId::Bevel1, "", 3, 108, 349, 3)),
      statusLabel(laidOut(ControlId::statusLabel, "", 3, 117, 270, 17)),
      // A caption shows "&&" as one "&"; a single "&" would underline the letter after it.
      madeWithLabel(laidOut(ControlId::madeWithLabel,
                            std::string("Made with Panoquill Photo && Video - ") + kMakerHost, 60, 149, 221, 10)),
      form(laidOut(ControlId::Form, "Panoquill Installer", 0, 0, 355, 160)),
      view(view) {
  progressBar.control = laidOut(ControlId::progressBar, "", 3, 133, 270, 15);
}

void TForm1::changed(const TControl& control) {
  if (view != nullptr) view->controlChanged(*this, control.id);
}

void TForm1::setCaption(TControl& control, const std::string& caption) {
  control.caption = caption;
  changed(control);
}

void TForm1::setVisible(TControl& control, bool visible) {
  control.visible = visible;
  changed(control);
}

void TForm1::setEnabled(TControl& control, bool enabled) {
  control.enabled = enabled;
  changed(control);
}

// The progress control keeps its position inside its range, as the common control does.
void TForm1::setProgressPosition(int position) {
  if (position < progressBar.min) position = progressBar.min;
  if (position > progressBar.max) position = progressBar.max;
  progressBar.position = position;
  changed(progressBar.control);
}

void TForm1::setProgressMax(int max) {
  progressBar.max = max;
  if (progressBar.position > max) progressBar.position = max;
  changed(progressBar.control);
}

// PBM_STEPIT: past the maximum the bar starts over from its minimum.
void TForm1::stepProgress() {
  int position = progressBar.position + progressBar.step;
  if (position > progressBar.max) position = progressBar.min;
  progressBar.position = position;
  changed(progressBar.control);
}

void TForm1::setLinkColor(pq::SystemColor color) {
  madeWithLabelFont.color = color;
  changed(madeWithLabel);
}

void TForm1::Close() {
  if (isClosed) return;
  // Done and the close box stay live during an action, at its message pauses. Closing then
  // would leave a saver half installed and the copy, which the action still reads, behind.
  if (isBusy != 0) {
    closeRequested = true;
    return;
  }
  TCloseAction action = TCloseAction::Free;
  FormClose(this, action);
  isClosed = true;
  if (view != nullptr) view->closeWindow(*this);
}

void TForm1::butDoneClick(void*) {
  LogOperation trace("butDoneClick", "");
  Close();
}

void TForm1::closeIfAsked() {
  if (closeRequested) Close();
}
