#include "platform/win32/error_dialog.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/win32/system_dpi.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_os.h"

namespace pq::win32 {

namespace {

// Pixel layout at 96 DPI: the margins and gaps of a standard message dialog, with its
// 75 x 23 push button.
constexpr int kMargin = 12;
constexpr int kIconToText = 12;
constexpr int kTextToButton = 14;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;

// The layout at the system's DPI. The icon takes the system's icon size, which follows the
// DPI already, as the message font from the non-client metrics does.
struct Spacing {
  int margin;
  int iconSize;
  int iconToText;
  int textToButton;
  int buttonWidth;
  int buttonHeight;
};

Spacing spacingAtSystemDpi() {
  const int dpi = systemDpi();
  return Spacing{scaleToDpi(kMargin, dpi),       GetSystemMetrics(SM_CXICON),
                 scaleToDpi(kIconToText, dpi),   scaleToDpi(kTextToButton, dpi),
                 scaleToDpi(kButtonWidth, dpi),  scaleToDpi(kButtonHeight, dpi)};
}

constexpr DWORD kDialogStyle = DS_MODALFRAME | DS_SETFOREGROUND | WS_POPUP | WS_CAPTION | WS_SYSMENU;

struct DialogState {
  const std::string* text;
  GdiObject font;
};

// An in-memory dialog template with no items: the controls are made at WM_INITDIALOG,
// once the text has been measured. The template must be DWORD-aligned.
static_assert(sizeof(DLGTEMPLATE) == 18, "the in-memory template is laid out as the dialog manager reads it");

std::vector<DWORD> emptyTemplate(const wchar_t* title) {
  std::vector<WORD> words;
  DLGTEMPLATE header{};
  header.style = kDialogStyle;
  header.cdit = 0;
  const WORD* raw = reinterpret_cast<const WORD*>(&header);
  words.insert(words.end(), raw, raw + sizeof(header) / sizeof(WORD));
  words.push_back(0); // no menu
  words.push_back(0); // the standard dialog class
  for (const wchar_t* c = title; *c != 0; ++c) words.push_back(static_cast<WORD>(*c));
  words.push_back(0);
  std::vector<DWORD> aligned((words.size() * sizeof(WORD) + sizeof(DWORD) - 1) / sizeof(DWORD));
  std::copy(words.begin(), words.end(), reinterpret_cast<WORD*>(aligned.data()));
  return aligned;
}

HFONT messageFont() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof(metrics);
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
    return CreateFontIndirectA(&metrics.lfMessageFont);
  }
  return nullptr;
}

SIZE measureText(HWND dialog, HFONT font, const std::string& text) {
  const int maxWidth = std::max(200, GetSystemMetrics(SM_CXSCREEN) / 2);
  RECT bounds{0, 0, maxWidth, 0};
  HDC dc = GetDC(dialog);
  const HGDIOBJ previous = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &bounds,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  SelectObject(dc, previous);
  ReleaseDC(dialog, dc);
  return SIZE{bounds.right - bounds.left, bounds.bottom - bounds.top};
}

HWND makeChild(HWND dialog, const char* className, const char* text, DWORD style, int id, int left, int top,
               int width, int height, HFONT font) {
  HWND child = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, left, top, width, height, dialog,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  if (child != nullptr && font != nullptr) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

void layOut(HWND dialog, DialogState& state) {
  state.font = GdiObject(messageFont());
  const HFONT font = static_cast<HFONT>(state.font.get());
  const std::string& text = *state.text;
  const SIZE textSize = measureText(dialog, font, text);

  const Spacing space = spacingAtSystemDpi();
  const int textLeft = space.margin + space.iconSize + space.iconToText;
  const int bodyHeight = std::max<int>(space.iconSize, textSize.cy);
  const int clientWidth = std::max<int>(textLeft + textSize.cx + space.margin, space.buttonWidth + 2 * space.margin);
  const int buttonTop = space.margin + bodyHeight + space.textToButton;
  const int clientHeight = buttonTop + space.buttonHeight + space.margin;

  HWND icon = makeChild(dialog, "STATIC", "", SS_ICON, kErrorDialogIconId, space.margin, space.margin,
                        space.iconSize, space.iconSize, nullptr);
  SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIcon(nullptr, IDI_HAND)), 0);
  // The text is a file path more often than not: an '&' in it must show as it is.
  const int textTop = space.margin + (bodyHeight - textSize.cy) / 2;
  makeChild(dialog, "STATIC", text.c_str(), SS_LEFT | SS_NOPREFIX, kErrorDialogTextId, textLeft, textTop,
            textSize.cx, textSize.cy, font);
  HWND button = makeChild(dialog, "BUTTON", "&Abort", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, IDABORT,
                          (clientWidth - space.buttonWidth) / 2, buttonTop, space.buttonWidth, space.buttonHeight,
                          font);

  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, kDialogStyle, FALSE, WS_EX_DLGMODALFRAME);
  const POINT origin = centredOnScreen(frame);
  SetWindowPos(dialog, nullptr, origin.x, origin.y, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  // At start-up the owner is not shown yet; the dialog must still take the keyboard.
  SetForegroundWindow(dialog);
  SetFocus(button);
}

INT_PTR CALLBACK errorDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_INITDIALOG:
    layOut(dialog, *reinterpret_cast<DialogState*>(lParam));
    return FALSE; // the focus is set
  case WM_COMMAND:
    if (LOWORD(wParam) == IDABORT || LOWORD(wParam) == IDCANCEL) {
      EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    }
    return FALSE;
  case WM_SETCURSOR:
    if (applyAppCursor()) {
      SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
      return TRUE;
    }
    return FALSE;
  default:
    return FALSE;
  }
}

} // namespace

void runErrorDialog(HWND owner, const std::string& text) {
  const std::vector<DWORD> dialogTemplate = emptyTemplate(L"Error");
  DialogState state{&text, GdiObject()};
  DialogBoxIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()),
                          owner, errorDialogProcedure, reinterpret_cast<LPARAM>(&state));
}

} // namespace pq::win32
