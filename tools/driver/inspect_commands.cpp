// Commands that wait for windows and read them.
#include <cstdio>
#include <fcntl.h>
#include <io.h>

#include "commands.h"
#include "window_query.h"

namespace pqdriver {

namespace {

POINT clientOrigin(HWND window) {
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  return origin;
}

#ifndef PBM_GETSTEP
#define PBM_GETSTEP (WM_USER + 13)
#endif

// A progress bar's state as its own messages report it, on the line after the control.
void printProgress(HWND bar) {
  std::printf("kind=progress\tid=%d\tposition=%ld\tmin=%ld\tmax=%ld\tstep=%ld\n", GetDlgCtrlID(bar),
              static_cast<long>(SendMessageA(bar, PBM_GETPOS, 0, 0)),
              static_cast<long>(SendMessageA(bar, PBM_GETRANGE, TRUE, 0)),
              static_cast<long>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0)),
              static_cast<long>(SendMessageA(bar, PBM_GETSTEP, 0, 0)));
}

// What texts and dialog-text print of the window they waited for.
int printTexts(HWND window) {
  RECT frame{};
  RECT client{};
  GetWindowRect(window, &frame);
  GetClientRect(window, &client);
  const POINT origin = clientOrigin(window);
  std::printf("kind=window\tclass=%s\ttext=%s\tstyle=0x%08lx\texstyle=0x%08lx\tx=%ld\ty=%ld\twidth=%ld\theight=%ld"
              "\tclient_x=%ld\tclient_y=%ld\tclient_width=%ld\tclient_height=%ld\tscreen_width=%d\tscreen_height=%d"
              "\tenabled=%d\n",
              className(window).c_str(), escaped(windowText(window)).c_str(),
              static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)), frame.left, frame.top,
              frame.right - frame.left, frame.bottom - frame.top, origin.x, origin.y, client.right, client.bottom,
              GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), IsWindowEnabled(window) ? 1 : 0);
  for (HWND child : descendants(window)) {
    RECT rect{};
    GetWindowRect(child, &rect);
    const int parentId = GetParent(child) == window ? 0 : GetDlgCtrlID(GetParent(child));
    std::printf("kind=control\tclass=%s\tid=%d\tparent=%d\ttext=%s\tenabled=%d\tvisible=%d\tstyle=0x%08lx"
                "\tx=%ld\ty=%ld\twidth=%ld\theight=%ld\n",
                className(child).c_str(), GetDlgCtrlID(child), parentId, escaped(windowText(child)).c_str(),
                IsWindowEnabled(child) ? 1 : 0, IsWindowVisible(child) ? 1 : 0,
                static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)), rect.left - origin.x,
                rect.top - origin.y, rect.right - rect.left, rect.bottom - rect.top);
    if (lstrcmpiA(className(child).c_str(), PROGRESS_CLASSA) == 0) printProgress(child);
  }
  std::fflush(stdout);
  return kExitOk;
}

int printDialogText(HWND window) {
  std::string message;
  for (HWND child : descendants(window)) {
    if (lstrcmpiA(className(child).c_str(), "Static") != 0) continue;
    const std::string text = windowText(child);
    if (GetDlgCtrlID(child) == 0xFFFF) {
      message = text;
      break;
    }
    message += text;
  }
  _setmode(_fileno(stdout), _O_BINARY); // keep the CR LF pairs as they are
  std::fwrite(message.data(), 1, message.size(), stdout);
  std::fflush(stdout);
  return kExitOk;
}

} // namespace

int waitWindow(const Arguments& arguments) {
  return onWindow(arguments, 1, [](HWND, unsigned) { return kExitOk; });
}

int waitGone(const Arguments& arguments) {
  unsigned timeoutMs = 0;
  if (!commandTimeout(arguments, 1, &timeoutMs)) return kExitUsage;
  if (pollUntil(timeoutMs, [&] { return FindWindowA(nullptr, arguments[0].c_str()) == nullptr; })) return kExitOk;
  std::fprintf(stderr, "pqdriver: timed out after %u ms waiting for the window \"%s\" to go away\n", timeoutMs,
               arguments[0].c_str());
  return kExitTimeout;
}

int waitText(const Arguments& arguments) {
  unsigned timeoutMs = 0;
  if (!commandTimeout(arguments, 2, &timeoutMs)) return kExitUsage;
  const auto shown = [&] {
    HWND window = findVisibleWindow(arguments[0]);
    if (window == nullptr) return false;
    for (HWND child : descendants(window)) {
      if (IsWindowVisible(child) && windowText(child) == arguments[1]) return true;
    }
    return false;
  };
  if (pollUntil(timeoutMs, shown)) return kExitOk;
  std::fprintf(stderr, "pqdriver: timed out after %u ms waiting for \"%s\" to show \"%s\"\n", timeoutMs,
               arguments[0].c_str(), escaped(arguments[1]).c_str());
  return kExitTimeout;
}

// One line for the window, then one per control, as tab-separated key=value fields. Control
// positions are relative to the window's client area.
int texts(const Arguments& arguments) {
  return onWindow(arguments, 1, [](HWND window, unsigned) { return printTexts(window); });
}

// The message of a dialog, byte for byte: the system's message boxes and the program's error
// dialog both keep it in a STATIC of id 0xFFFF; otherwise every non-empty STATIC, in order.
int dialogText(const Arguments& arguments) {
  return onWindow(arguments, 1, [](HWND window, unsigned) { return printDialogText(window); });
}

} // namespace pqdriver
