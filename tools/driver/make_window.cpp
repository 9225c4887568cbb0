// A stand-in for another program's window: a top-level window with a button of id 2 (the
// dialog's Cancel) that records every click, for the installer's window lookups. With "hang"
// it stops responding once Cancel is clicked, so that whoever clicked it synchronously stays
// inside that call until the stand-in is ended.
#include <cstdio>

#include "commands.h"
#include "window_query.h"

namespace pqdriver {

namespace {

constexpr int kRecordedButtonId = 2;
constexpr UINT_PTR kLifetimeTimer = 1;
// A window nobody clicks must not outlive its test.
constexpr unsigned kDefaultLifetimeMs = 60000;

const char* g_recordFile = nullptr;
bool g_hang = false;
unsigned g_lifetimeMs = kDefaultLifetimeMs;

void recordClick() {
  std::printf("clicked %d\n", kRecordedButtonId);
  std::fflush(stdout);
  if (g_recordFile == nullptr) return;
  if (FILE* record = std::fopen(g_recordFile, "ab")) {
    std::fprintf(record, "clicked %d\n", kRecordedButtonId);
    std::fclose(record);
  }
}

LRESULT CALLBACK standInProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_COMMAND:
    // A real dialog's Cancel closes it.
    if (LOWORD(wParam) == kRecordedButtonId && HIWORD(wParam) == BN_CLICKED) {
      recordClick();
      if (g_hang) Sleep(g_lifetimeMs);
      DestroyWindow(window);
      return 0;
    }
    break;
  case WM_TIMER:
    if (wParam == kLifetimeTimer) {
      std::printf("expired\n");
      std::fflush(stdout);
      DestroyWindow(window);
      return 0;
    }
    break;
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  default:
    break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int makeWindow(const Arguments& arguments) {
  if (arguments.empty()) return kExitUsage;
  if (arguments.size() > 1 && !arguments[1].empty()) g_recordFile = arguments[1].c_str();
  if (arguments.size() > 2 && !parseTimeout(arguments[2].c_str(), &g_lifetimeMs)) return kExitUsage;
  if (arguments.size() > 3 && arguments[3] != "hang") return kExitUsage;
  g_hang = arguments.size() > 3;

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = standInProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = "PqDriverStandIn";
  if (!RegisterClassA(&windowClass)) return kExitFailure;

  HWND window = CreateWindowExA(0, windowClass.lpszClassName, arguments[0].c_str(),
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 20, 20, 240, 120, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return kExitFailure;
  CreateWindowExA(0, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 80, 40, 75, 23, window,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kRecordedButtonId)), windowClass.hInstance, nullptr);
  SetTimer(window, kLifetimeTimer, g_lifetimeMs, nullptr);
  std::printf("ready\n");
  std::fflush(stdout);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return kExitOk;
}

} // namespace pqdriver
