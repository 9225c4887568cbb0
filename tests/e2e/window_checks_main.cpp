// pq_window_checks.exe: the real window's behaviour checked from inside the program, where
// the cursor, the focus and the form's own state can be seen: controls hidden before the
// window is shown, focus leaving a disabled button, Tab and Enter, the progress bar in step
// with the form, the application-wide cursor winning over every control's own, the link's
// hover, and the close path from Done to the end of the message loop. Prints one line per
// failure.
#include <cstdio>
#include <string>
#include <vector>

#include "installer/fInstall.h"
#include "platform/win32/form_window.h"
#include "platform/win32/win32_os.h"

namespace {

using pq::win32::controlWindowId;

std::vector<std::string> failures;

void check(bool condition, const std::string& what) {
  if (!condition) failures.push_back(what);
}

struct ControlSearch {
  int id;
  HWND found;
};

BOOL CALLBACK matchControlId(HWND child, LPARAM context) {
  auto* search = reinterpret_cast<ControlSearch*>(context);
  if (GetDlgCtrlID(child) != search->id) return TRUE;
  search->found = child;
  return FALSE;
}

HWND control(HWND main, ControlId id) {
  ControlSearch search{controlWindowId(id), nullptr};
  EnumChildWindows(main, matchControlId, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool hasVisibleBit(HWND window) { return (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0; }

// What the control under the pointer would show: WM_SETCURSOR as the system sends it.
HCURSOR cursorOver(HWND window) {
  SetCursor(nullptr);
  SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  return GetCursor();
}

void checkBeforeShow(TForm1& form, HWND main) {
  // The creation handler runs while the window is hidden; what it hides must stay hidden.
  form.setVisible(form.labStatus, false);
  form.setVisible(form.statusLabel, false);
  check(!hasVisibleBit(control(main, ControlId::labStatus)), "labStatus hidden before the window is shown");
  check(!hasVisibleBit(control(main, ControlId::statusLabel)), "statusLabel hidden before the window is shown");
  form.setProgressMax(5);
  form.setCaption(form.form, "Screen Saver Installation: Checks");
  char title[64] = {};
  GetWindowTextA(main, title, sizeof title);
  check(std::string(title) == "Screen Saver Installation: Checks", "the window caption follows the form");
}

void checkFocusAndProgress(TForm1& form, HWND main) {
  check(GetFocus() == control(main, ControlId::butInstall), "the first tab stop, Install, has the focus");
  form.setEnabled(form.butInstall, false);
  check(!IsWindowEnabled(control(main, ControlId::butInstall)), "Install disabled");
  check(GetFocus() == control(main, ControlId::Remove), "the focus moves on from a disabled Install");
  form.setEnabled(form.butInstall, true);

  HWND bar = control(main, ControlId::progressBar);
  form.setProgressPosition(3);
  check(SendMessageA(bar, PBM_GETPOS, 0, 0) == 3, "the bar shows position 3");
  check(SendMessageA(bar, PBM_GETRANGE, FALSE, 0) == 5, "the bar's maximum is 5");
  form.setProgressPosition(0);
  check(SendMessageA(bar, PBM_GETPOS, 0, 0) == 0, "the bar returns to 0");
}

// Tab as the message loop hands it over: through IsDialogMessage of the window.
HWND pressTab(HWND main) {
  MSG key{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
  IsDialogMessageA(main, &key);
  return GetFocus();
}

void checkTabOrder(HWND main) {
  const HWND install = control(main, ControlId::butInstall);
  SetFocus(install);
  check(pressTab(main) == control(main, ControlId::Remove), "Tab goes from Install to Un-Install");
  check(pressTab(main) == control(main, ControlId::Done), "Tab goes from Un-Install to Done");
  check(pressTab(main) == install, "Tab goes from Done back to Install");
}

// Enter as the message loop hands it over: it presses the push button that has the focus.
void checkEnterPressesTheFocusedButton(TForm1& form, HWND main) {
  const HWND remove = control(main, ControlId::Remove);
  SetFocus(remove);
  MSG key{remove, WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
  check(IsDialogMessageA(main, &key) != FALSE, "the window takes Enter as a dialog key");
  check(form.statusLabel.caption == "Un-Installation Complete.", "Enter on Un-Install runs the uninstallation");
  check(GetFocus() == remove, "the pressed button keeps the focus");
}

void checkCursors(pq::win32::Win32Os& backend, HWND main) {
  const HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
  const HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
  const HWND button = control(main, ControlId::Done);
  const HWND label = control(main, ControlId::statusLabel);
  backend.setAppCursor(pq::AppCursor::Wait);
  check(cursorOver(button) == wait, "the wait cursor over a button");
  check(cursorOver(label) == wait, "the wait cursor over a label");
  check(cursorOver(main) == wait, "the wait cursor over the window");
  backend.setAppCursor(pq::AppCursor::Default);
  check(cursorOver(button) == arrow, "the button's own arrow once the cursor is back to default");
}

void checkLinkHover(TForm1& form, pq::win32::Win32Os& backend, HWND main) {
  const HWND link = control(main, ControlId::madeWithLabel);
  backend.setAppCursor(pq::AppCursor::Wait); // as during an installation
  SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  check(form.madeWithLabelFont.color == pq::SystemColor::Highlight, "the link turns to the highlight colour");
  check(backend.appCursor() == pq::AppCursor::HandPoint, "the hand over the link");
  check(cursorOver(link) == LoadCursor(nullptr, IDC_HAND), "the hand shows over the link");
  SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(3, 2));
  check(backend.appCursor() == pq::AppCursor::HandPoint, "moving within the link enters only once");
  SendMessageA(link, WM_MOUSELEAVE, 0, 0);
  check(form.madeWithLabelFont.color == pq::SystemColor::WindowText, "the link returns to window text");
  check(backend.appCursor() == pq::AppCursor::Wait, "leaving the link restores the wait cursor");
  backend.setAppCursor(pq::AppCursor::Default);
}

void checkDoneCloses(TForm1& form, pq::win32::Win32FormView& view, pq::win32::Win32Os& backend, HWND main) {
  SendMessageA(control(main, ControlId::Done), BM_CLICK, 0, 0);
  check(form.closed(), "Done closes the form");
  check(view.handle() == nullptr && !IsWindow(main), "Done destroys the window");
  check(backend.getMainWindow() == nullptr, "dialogs lose their destroyed owner");
  MSG message;
  bool quit = false;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) quit = quit || message.message == WM_QUIT;
  check(quit, "closing the window ends the message loop");
}

} // namespace

int main(int argc, char** argv) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  pq::win32::Win32Os backend;
  pq::setOs(&backend);
  resetRunState();
  // The close handler removes the temporary copy: give it a path where nothing exists.
  pathTempFile = argc > 1 ? argv[1] : "C:\\pq-window-checks-none.dat";

  TForm1 form;
  pq::win32::Win32FormView view(form, &backend);
  check(view.create(), "the window is created");
  form.setView(&view);
  const HWND main = view.handle();
  if (main != nullptr) {
    checkBeforeShow(form, main);
    view.show();
    checkFocusAndProgress(form, main);
    checkTabOrder(main);
    checkEnterPressesTheFocusedButton(form, main);
    checkCursors(backend, main);
    checkLinkHover(form, backend, main);
    checkDoneCloses(form, view, backend, main);
  }
  form.setView(nullptr);
  pq::setOs(nullptr);

  for (const std::string& failure : failures) std::printf("FAILED: %s\n", failure.c_str());
  std::printf("%u window check failure(s)\n", static_cast<unsigned>(failures.size()));
  return failures.empty() ? 0 : 1;
}
