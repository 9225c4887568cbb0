// Commands that act on other programs' windows: buttons, closing, the end of the session,
// the pointer.
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "window_query.h"

namespace pqdriver {

namespace {

// Presses the button of `window` captioned arguments[1]. The press is posted, not sent: the
// program's handler may open a modal dialog, and the driver must not wait inside it.
int pressButton(const Arguments& arguments, HWND window) {
  const std::string& title = arguments[0];
  const std::string& caption = arguments[1];
  HWND button = findButton(window, caption);
  if (button == nullptr) {
    std::fprintf(stderr, "pqdriver: the window \"%s\" has no button \"%s\"\n", title.c_str(), caption.c_str());
    return kExitFailure;
  }
  if (!IsWindowEnabled(button) || !IsWindowVisible(button)) {
    std::fprintf(stderr, "pqdriver: the button \"%s\" of \"%s\" is %s\n", caption.c_str(), title.c_str(),
                 IsWindowVisible(button) ? "disabled" : "hidden");
    return kExitFailure;
  }
  PostMessageA(button, BM_CLICK, 0, 0);
  return kExitOk;
}

} // namespace

int click(const Arguments& arguments) {
  return onWindow(arguments, 2, [&](HWND window, unsigned) { return pressButton(arguments, window); });
}

// Presses a dialog's button and waits until the dialog has gone.
int answer(const Arguments& arguments) {
  return onWindow(arguments, 2, [&](HWND dialog, unsigned timeoutMs) -> int {
    const int pressed = pressButton(arguments, dialog);
    if (pressed != kExitOk) return pressed;
    if (pollUntil(timeoutMs, [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); })) return kExitOk;
    std::fprintf(stderr, "pqdriver: timed out after %u ms waiting for the dialog \"%s\" to close after \"%s\"\n",
                 timeoutMs, arguments[0].c_str(), arguments[1].c_str());
    return kExitTimeout;
  });
}

// WM_CLOSE, as the close box sends it.
int closeWindow(const Arguments& arguments) {
  return onWindow(arguments, 1, [](HWND window, unsigned) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    return kExitOk;
  });
}

// Asks the window, as the system asks at a log-off, whether the session may end; prints 1 or 0.
int queryEndSession(const Arguments& arguments) {
  return onWindow(arguments, 1, [&](HWND window, unsigned timeoutMs) -> int {
    DWORD_PTR mayEnd = 0;
    if (!SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, timeoutMs, &mayEnd)) {
      std::fprintf(stderr, "pqdriver: \"%s\" gave no answer to WM_QUERYENDSESSION within %u ms\n",
                   arguments[0].c_str(), timeoutMs);
      return kExitTimeout;
    }
    std::printf("%d\n", mayEnd != 0 ? 1 : 0);
    std::fflush(stdout);
    return kExitOk;
  });
}

// Moves the pointer onto the centre of the control showing CONTROL-TEXT; an empty text moves
// it to the screen's top-left corner, off every window of the program.
int pointAt(const Arguments& arguments) {
  if (arguments.size() >= 2 && arguments[1].empty()) return SetCursorPos(0, 0) ? kExitOk : kExitFailure;
  return onWindow(arguments, 2, [&](HWND window, unsigned) -> int {
    for (HWND child : descendants(window)) {
      if (!captionMatches(windowText(child), arguments[1])) continue;
      RECT rect{};
      GetWindowRect(child, &rect);
      return SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2) ? kExitOk : kExitFailure;
    }
    std::fprintf(stderr, "pqdriver: the window \"%s\" has no control \"%s\"\n", arguments[0].c_str(),
                 arguments[1].c_str());
    return kExitFailure;
  });
}

} // namespace pqdriver
