// The real window of TForm1: a fixed dialog-framed, topmost window with standard controls,
// laid out from the form's own control state and kept in step with it.
#pragma once

#include "installer/fInstall.h"
#include "platform/win32/system_dpi.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_os.h"

namespace pq::win32 {

// Child control ids are 100 + the ControlId, clear of IDOK and IDCANCEL, which the dialog
// keys Enter and Escape send to the window (Enter then presses the focused button).
constexpr int kFirstControlWindowId = 100;
constexpr int controlWindowId(ControlId id) { return kFirstControlWindowId + static_cast<int>(id); }

class Win32FormView final : public FormView {
public:
  // `backend` learns the main window (owner of dialogs) while it exists; may be null.
  Win32FormView(TForm1& form, Win32Os* backend);
  ~Win32FormView() override;

  Win32FormView(const Win32FormView&) = delete;
  Win32FormView& operator=(const Win32FormView&) = delete;

  // Creates the window and every control from the form's state, without showing it.
  bool create();
  // Centres the window on the screen, shows it on top and gives the first control focus.
  void show();
  // The main window, null before create() and once it is destroyed.
  HWND handle() const { return windows[index(ControlId::Form)]; }

  void controlChanged(const TForm1& form, ControlId id) override;
  void repaintNow(const TForm1& form, ControlId id) override;
  void closeWindow(const TForm1& form) override;

private:
  static constexpr int kControlCount = static_cast<int>(ControlId::progressBar) + 1;
  static constexpr int index(ControlId id) { return static_cast<int>(id); }

  static LRESULT CALLBACK formProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK panelProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK linkProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Messages that the window and both panels handle alike.
  bool handleContainerMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  void buttonClicked(int windowId);
  void pressFocusedButton();
  LRESULT staticColors(HDC dc, HWND control);
  void windowDestroyed();

  HWND makeControl(ControlId id, HWND parent, const char* className, DWORD style, DWORD exStyle = 0);
  void sizeLinkToCaption();
  void moveFocusOffDisabled(HWND control);
  void focusFirstControl();
  const TControl& controlOf(ControlId id) const;
  int scaled(int designPixels) const { return scaleToDpi(designPixels, dpi); }

  TForm1& form;
  Win32Os* backend;
  int dpi = kDesignDpi; // the system's, from create() on
  HWND windows[kControlCount] = {};
  GdiObject font;
  GdiObject linkFont;
  WNDPROC originalLinkProcedure = nullptr;
  bool linkHot = false;
  HWND focusBeforeDeactivation = nullptr;
};

} // namespace pq::win32
