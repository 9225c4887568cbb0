#include "platform/win32/form_window.h"

#include <string>

namespace pq::win32 {

namespace {

constexpr char kFormClassName[] = "TForm1";
constexpr char kPanelClassName[] = "TPanel";
constexpr char kBevelClassName[] = "TBevel";

// A fixed dialog frame with only the close box: no sizing border, no minimise or maximise
// box. The modal-frame extended style also keeps the icon out of the caption.
constexpr DWORD kFormStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | DS_MODALFRAME;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_TOPMOST | WS_EX_CONTROLPARENT;

// Panels are plain containers; the control-parent style lets Tab walk into them.
constexpr DWORD kPanelStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
constexpr DWORD kPanelExStyle = WS_EX_CONTROLPARENT;

// The window's font: "MS Sans Serif", 8 point, a character height of 11 pixels at 96 DPI.
constexpr int kFontHeight = -11;
// The link's font: "Small Fonts" with a character height of 8 pixels at 96 DPI.
constexpr int kLinkFontHeight = -8;

COLORREF systemColor(pq::SystemColor color) {
  switch (color) {
  case pq::SystemColor::Highlight: return GetSysColor(COLOR_HIGHLIGHT);
  case pq::SystemColor::ButtonFace: return GetSysColor(COLOR_BTNFACE);
  case pq::SystemColor::WindowText: break;
  }
  return GetSysColor(COLOR_WINDOWTEXT);
}

Win32FormView* viewOf(HWND window) {
  return reinterpret_cast<Win32FormView*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// WM_NCCREATE of our own classes: the view arrives as the creation parameter.
void attachView(HWND window, LPARAM createStruct) {
  const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(createStruct);
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
}

bool registerClass(const char* name, WNDPROC procedure) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  if (GetClassInfoExA(GetModuleHandleA(nullptr), name, &windowClass)) return true;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  return RegisterClassExA(&windowClass) != 0;
}

// The bevel: a lowered box exactly as large as the control, which at 3 pixels high reads as
// a thin sunken line (shadow above, highlight below). Drawn here rather than left to an
// etched STATIC, which some systems resize to 2 pixels.
LRESULT CALLBACK bevelProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT bounds{};
  GetClientRect(window, &bounds);
  DrawEdge(dc, &bounds, BDR_SUNKENOUTER, BF_RECT);
  EndPaint(window, &paint);
  return 0;
}

std::string windowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

} // namespace

Win32FormView::Win32FormView(TForm1& ownerForm, Win32Os* osBackend) : form(ownerForm), backend(osBackend) {}

Win32FormView::~Win32FormView() {
  if (handle() != nullptr) DestroyWindow(handle());
}

const TControl& Win32FormView::controlOf(ControlId id) const {
  switch (id) {
  case ControlId::Form: return form.form;
  case ControlId::Panel1: return form.Panel1;
  case ControlId::Panel2: return form.Panel2;
  case ControlId::labStatus: return form.labStatus;
  case ControlId::butInstall: return form.butInstall;
  case ControlId::Remove: return form.Remove;
  case ControlId::Done: return form.Done;
  case ControlId::Bevel1: return form.Bevel1;
  case ControlId::statusLabel: return form.statusLabel;
  case ControlId::madeWithLabel: return form.madeWithLabel;
  case ControlId::progressBar: return form.progressBar.control;
  }
  return form.form;
}

HWND Win32FormView::makeControl(ControlId id, HWND parent, const char* className, DWORD style, DWORD exStyle) {
  const TControl& control = controlOf(id);
  if (control.visible) style |= WS_VISIBLE;
  if (!control.enabled) style |= WS_DISABLED;
  // The form keeps its layout in 96-DPI pixels; only the real window is at the system's DPI.
  HWND window = CreateWindowExA(exStyle, className, control.caption.c_str(), WS_CHILD | WS_CLIPSIBLINGS | style,
                                scaled(control.left), scaled(control.top), scaled(control.width),
                                scaled(control.height), parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlWindowId(id))),
                                GetModuleHandleA(nullptr), this);
  windows[index(id)] = window;
  if (window != nullptr) {
    const HGDIOBJ controlFont = id == ControlId::madeWithLabel ? linkFont.get() : font.get();
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont), FALSE);
  }
  return window;
}

bool Win32FormView::create() {
  if (!registerClass(kFormClassName, formProcedure) || !registerClass(kPanelClassName, panelProcedure) ||
      !registerClass(kBevelClassName, bevelProcedure)) {
    return false;
  }

  dpi = systemDpi();
  font = GdiObject(CreateFontA(scaled(kFontHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                               "MS Sans Serif"));
  linkFont = GdiObject(CreateFontA(scaled(kLinkFontHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   VARIABLE_PITCH | FF_SWISS, "Small Fonts"));

  // The frame is sized so that the client area is exactly the form's 355 x 160, at 96 DPI.
  RECT frame{0, 0, scaled(form.form.width), scaled(form.form.height)};
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  HWND main = CreateWindowExA(kFormExStyle, kFormClassName, form.form.caption.c_str(), kFormStyle, CW_USEDEFAULT,
                              CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              GetModuleHandleA(nullptr), this);
  if (main == nullptr) return false;
  windows[index(ControlId::Form)] = main;
  SendMessageA(main, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
  if (backend != nullptr) backend->setMainWindow(main);

  // Creation order inside each parent is the tab order.
  HWND panel1 = makeControl(ControlId::Panel1, main, kPanelClassName, WS_CLIPCHILDREN, kPanelExStyle);
  HWND progress = makeControl(ControlId::progressBar, panel1, PROGRESS_CLASSA, 0);
  HWND panel2 = makeControl(ControlId::Panel2, panel1, kPanelClassName, WS_CLIPCHILDREN, kPanelExStyle);
  makeControl(ControlId::Done, panel1, "BUTTON", BS_PUSHBUTTON | WS_TABSTOP);
  makeControl(ControlId::statusLabel, panel1, "STATIC", SS_LEFTNOWORDWRAP);
  HWND link = makeControl(ControlId::madeWithLabel, panel1, "STATIC", SS_LEFTNOWORDWRAP | SS_NOTIFY);

  makeControl(ControlId::butInstall, panel2, "BUTTON", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP);
  makeControl(ControlId::Remove, panel2, "BUTTON", BS_PUSHBUTTON | WS_TABSTOP);
  makeControl(ControlId::labStatus, panel2, "STATIC", SS_LEFT);
  makeControl(ControlId::Bevel1, panel2, kBevelClassName, 0);

  if (progress != nullptr) controlChanged(form, ControlId::progressBar);
  if (link != nullptr) {
    SetWindowLongPtrA(link, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    originalLinkProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(link, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(linkProcedure)));
    sizeLinkToCaption();
  }
  return true;
}

void Win32FormView::show() {
  HWND main = handle();
  if (main == nullptr) return;
  RECT frame{};
  GetWindowRect(main, &frame);
  const POINT origin = centredOnScreen(frame);
  SetWindowPos(main, HWND_TOPMOST, origin.x, origin.y, 0, 0, SWP_NOSIZE);
  ShowWindow(main, SW_SHOWNORMAL);
  SetForegroundWindow(main);
  focusFirstControl();
  UpdateWindow(main);
}

void Win32FormView::focusFirstControl() {
  HWND first = GetNextDlgTabItem(handle(), nullptr, FALSE);
  if (first != nullptr) SetFocus(first);
}

// A label that sizes itself to its caption; "&&" counts as the one "&" it shows.
void Win32FormView::sizeLinkToCaption() {
  HWND link = windows[index(ControlId::madeWithLabel)];
  const std::string caption = windowText(link);
  HDC dc = GetDC(link);
  const HGDIOBJ previous = SelectObject(dc, linkFont.get());
  RECT bounds{0, 0, 0, 0};
  DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &bounds, DT_CALCRECT | DT_SINGLELINE);
  SelectObject(dc, previous);
  ReleaseDC(link, dc);
  SetWindowPos(link, nullptr, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32FormView::controlChanged(const TForm1&, ControlId id) {
  HWND window = windows[index(id)];
  if (window == nullptr) return;
  const TControl& control = controlOf(id);

  if (windowText(window) != control.caption) {
    SetWindowTextA(window, control.caption.c_str());
    if (id == ControlId::madeWithLabel) sizeLinkToCaption();
  }
  if (id == ControlId::Form) return; // shown once by show(), closed by closeWindow()

  // The control's own visible bit: IsWindowVisible is false for every control while the
  // window itself is still hidden, as it is during the creation handler.
  const bool shown = (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0;
  if (control.visible != shown) ShowWindow(window, control.visible ? SW_SHOW : SW_HIDE);
  if (control.enabled != (IsWindowEnabled(window) != FALSE)) {
    if (!control.enabled) moveFocusOffDisabled(window);
    EnableWindow(window, control.enabled ? TRUE : FALSE);
  }

  if (id == ControlId::progressBar) {
    const TProgressBar& bar = form.progressBar;
    SendMessageA(window, PBM_SETRANGE32, static_cast<WPARAM>(bar.min), static_cast<LPARAM>(bar.max));
    SendMessageA(window, PBM_SETSTEP, static_cast<WPARAM>(bar.step), 0);
    SendMessageA(window, PBM_SETPOS, static_cast<WPARAM>(bar.position), 0);
  }
  if (id == ControlId::madeWithLabel) InvalidateRect(window, nullptr, TRUE);
}

// A disabled control cannot keep the keyboard focus: hand it to the next control that can.
void Win32FormView::moveFocusOffDisabled(HWND control) {
  if (GetFocus() != control) return;
  HWND next = GetNextDlgTabItem(handle(), control, FALSE);
  SetFocus(next != control ? next : handle());
}

void Win32FormView::repaintNow(const TForm1&, ControlId id) {
  HWND window = windows[index(id)];
  if (window != nullptr) RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Win32FormView::closeWindow(const TForm1&) {
  if (handle() != nullptr) DestroyWindow(handle());
}

void Win32FormView::windowDestroyed() {
  for (HWND& window : windows) window = nullptr;
  if (backend != nullptr) backend->setMainWindow(nullptr);
}

void Win32FormView::buttonClicked(int windowId) {
  if (windowId == controlWindowId(ControlId::butInstall)) {
    form.butInstallClick(&form.butInstall);
  } else if (windowId == controlWindowId(ControlId::Remove)) {
    form.butUnInstallClick(&form.Remove);
  } else if (windowId == controlWindowId(ControlId::Done)) {
    form.butDoneClick(&form.Done);
  } else if (windowId == controlWindowId(ControlId::madeWithLabel)) {
    form.madeWithLabelClick(&form.madeWithLabel);
  }
}

void Win32FormView::pressFocusedButton() {
  const HWND focus = GetFocus();
  for (ControlId id : {ControlId::butInstall, ControlId::Remove, ControlId::Done}) {
    if (focus != nullptr && focus == windows[index(id)] && IsWindowEnabled(focus)) buttonClicked(controlWindowId(id));
  }
}

LRESULT Win32FormView::staticColors(HDC dc, HWND control) {
  if (control == windows[index(ControlId::madeWithLabel)]) {
    // The link lies on Panel1's plain button-face background, so filling it with that
    // colour looks the same as a transparent label and needs no repaint of the panel when
    // the hover colour changes.
    SetTextColor(dc, systemColor(form.madeWithLabelFont.color));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  }
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

bool Win32FormView::handleContainerMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
  case WM_COMMAND:
    // Enter reaches the window as IDOK from the dialog keys: our window has no default
    // button, so Enter presses the push button that has the focus.
    if (wParam == IDOK) {
      pressFocusedButton();
      *result = 0;
      return true;
    }
    // BN_CLICKED and STN_CLICKED share the value 0.
    if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
      buttonClicked(LOWORD(wParam));
      *result = 0;
      return true;
    }
    return false;
  case WM_CTLCOLORSTATIC:
    *result = staticColors(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    return true;
  default:
    return false;
  }
}

LRESULT CALLBACK Win32FormView::formProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) attachView(window, lParam);
  Win32FormView* view = viewOf(window);
  if (view == nullptr) return DefWindowProcA(window, message, wParam, lParam);

  LRESULT result = 0;
  if (view->handleContainerMessage(message, wParam, lParam, &result)) return result;
  switch (message) {
  case WM_SETCURSOR:
    if (applyAppCursor()) return TRUE;
    break;
  case WM_CLOSE:
    // The close box closes as Done does: the form's close handler first.
    view->form.Close();
    return 0;
  case WM_QUERYENDSESSION:
    // A log-off or shutdown must not cut an install or uninstall action in half; the reason
    // the action gave is what the system shows the user meanwhile.
    return view->backend == nullptr || view->backend->sessionMayEnd() ? TRUE : FALSE;
  case WM_ACTIVATE:
    // Keep the keyboard focus across deactivation, as a dialog does.
    if (LOWORD(wParam) == WA_INACTIVE) {
      HWND focus = GetFocus();
      if (focus != nullptr && IsChild(window, focus)) view->focusBeforeDeactivation = focus;
    } else if (view->focusBeforeDeactivation != nullptr && IsWindow(view->focusBeforeDeactivation) &&
               IsWindowEnabled(view->focusBeforeDeactivation)) {
      SetFocus(view->focusBeforeDeactivation);
      return 0;
    } else {
      view->focusFirstControl();
      return 0;
    }
    break;
  case WM_DESTROY:
    PostQuitMessage(0);
    break;
  case WM_NCDESTROY:
    view->windowDestroyed();
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    break;
  default:
    break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32FormView::panelProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) attachView(window, lParam);
  Win32FormView* view = viewOf(window);
  LRESULT result = 0;
  if (view != nullptr && view->handleContainerMessage(message, wParam, lParam, &result)) return result;
  return DefWindowProcA(window, message, wParam, lParam);
}

// The link label: a notifying STATIC whose pointer entry and exit reach the form.
LRESULT CALLBACK Win32FormView::linkProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32FormView* view = viewOf(window);
  if (view == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  const WNDPROC original = view->originalLinkProcedure;
  switch (message) {
  case WM_MOUSEMOVE:
    if (!view->linkHot) {
      view->linkHot = true;
      TRACKMOUSEEVENT tracking{};
      tracking.cbSize = sizeof(tracking);
      tracking.dwFlags = TME_LEAVE;
      tracking.hwndTrack = window;
      TrackMouseEvent(&tracking);
      view->form.madeWithLabelMouseEnter(&view->form.madeWithLabel);
    }
    break;
  case WM_MOUSELEAVE:
    if (view->linkHot) {
      view->linkHot = false;
      view->form.madeWithLabelMouseLeave(&view->form.madeWithLabel);
    }
    break;
  case WM_NCDESTROY:
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    break;
  default:
    break;
  }
  return CallWindowProcA(original, window, message, wParam, lParam);
}

} // namespace pq::win32
