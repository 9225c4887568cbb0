// Sunset.scr: a small screen saver. A sun sinks through a gradient sky into a sea that
// mirrors it, then rises again. GDI only, drawn off-screen and copied whole each frame.
//
// Command line, as Windows passes it to a saver:
//   /s          run full screen until a key, a click or a real mouse movement
//   /c[:hwnd]   settings (none: a message box says so); also what no argument means
//   /p hwnd     preview in the Display control panel: this saver shows none
//   /u          remove the saver (saver_uninstall.cpp), as its uninstall entry asks
#include <windows.h>

#include <cmath>
#include <cstdlib>

#include "platform/win32/system_dll_search.h"
#include "saver_uninstall.h"

namespace {

const char kWindowClass[] = "PanoquillSunsetSaver";
const UINT_PTR kFrameTimer = 1;
const UINT kFrameMilliseconds = 40;
// A mouse that moves less than this many pixels is a nudge of the desk, not the user.
const int kMouseSlack = 8;
// One sunset and sunrise, in frames.
const int kCycleFrames = 1500;

struct SaverState {
  int frame = 0;
  POINT firstMouse = {0, 0};
  bool haveFirstMouse = false;
  HDC backDc = nullptr;
  HBITMAP backBitmap = nullptr;
  HGDIOBJ previousBitmap = nullptr;
  int width = 0;
  int height = 0;
};

SaverState g_state;

COLORREF blend(COLORREF from, COLORREF to, double amount) {
  auto mix = [amount](int a, int b) { return static_cast<int>(a + (b - a) * amount + 0.5); };
  return RGB(mix(GetRValue(from), GetRValue(to)), mix(GetGValue(from), GetGValue(to)),
             mix(GetBValue(from), GetBValue(to)));
}

void fillBand(HDC dc, int top, int bottom, int width, COLORREF colour) {
  RECT band = {0, top, width, bottom};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &band, brush);
  DeleteObject(brush);
}

void drawDisc(HDC dc, int centreX, int centreY, int radius, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  Ellipse(dc, centreX - radius, centreY - radius, centreX + radius, centreY + radius);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

// Draws one frame: `height` of sun above the horizon runs from 1 (high) to 0 (set) and below.
void drawFrame(HDC dc, int width, int height, int frame) {
  const double phase = static_cast<double>(frame % kCycleFrames) / kCycleFrames;
  // 1 at the start, down to -0.3 (below the horizon) at half cycle, back up.
  const double sunHeight = 0.35 + 0.65 * std::cos(phase * 2.0 * 3.14159265358979);
  const double dusk = sunHeight < 0 ? 1.0 : (sunHeight > 1 ? 0.0 : 1.0 - sunHeight);
  const int horizon = height * 2 / 3;

  const COLORREF skyTop = blend(RGB(70, 130, 200), RGB(20, 20, 60), dusk);
  const COLORREF skyLow = blend(RGB(250, 210, 140), RGB(230, 90, 40), dusk);
  const int bands = 48;
  for (int band = 0; band < bands; ++band) {
    const double amount = static_cast<double>(band) / (bands - 1);
    fillBand(dc, horizon * band / bands, horizon * (band + 1) / bands, width, blend(skyTop, skyLow, amount * amount));
  }

  const int radius = height / 10;
  const int sunX = width / 2 + static_cast<int>(width / 8 * std::sin(phase * 2.0 * 3.14159265358979));
  const int sunY = horizon - static_cast<int>(sunHeight * (horizon - radius));
  drawDisc(dc, sunX, sunY, radius, blend(RGB(255, 240, 170), RGB(255, 120, 40), dusk));

  // The sea covers the part of the sun that has set.
  const COLORREF seaTop = blend(RGB(40, 90, 140), RGB(60, 30, 50), dusk);
  const COLORREF seaLow = blend(RGB(10, 40, 80), RGB(5, 5, 20), dusk);
  for (int band = 0; band < bands / 2; ++band) {
    const double amount = static_cast<double>(band) / (bands / 2 - 1);
    const int top = horizon + (height - horizon) * band / (bands / 2);
    const int bottom = horizon + (height - horizon) * (band + 1) / (bands / 2);
    fillBand(dc, top, bottom, width, blend(seaTop, seaLow, amount));
  }

  // The sun's glitter on the water: short strokes that shimmer from frame to frame.
  if (sunHeight > -0.1 && height - horizon > 8) {
    HPEN pen = CreatePen(PS_SOLID, 2, blend(RGB(255, 230, 160), seaTop, dusk * 0.6));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    unsigned seed = static_cast<unsigned>(frame / 3) * 2654435761u;
    for (int stroke = 0; stroke < 24; ++stroke) {
      seed = seed * 1103515245u + 12345u;
      const int y = horizon + 4 + static_cast<int>((seed >> 8) % static_cast<unsigned>(height - horizon - 4));
      const int spread = radius / 2 + (y - horizon) / 3;
      const int x = sunX + static_cast<int>((seed >> 16) % static_cast<unsigned>(2 * spread + 1)) - spread;
      const int length = 6 + static_cast<int>((seed >> 4) % 18);
      MoveToEx(dc, x - length / 2, y, nullptr);
      LineTo(dc, x + length / 2, y);
    }
    SelectObject(dc, oldPen);
    DeleteObject(pen);
  }
}

void releaseBackBuffer() {
  if (g_state.backDc != nullptr) {
    SelectObject(g_state.backDc, g_state.previousBitmap);
    DeleteObject(g_state.backBitmap);
    DeleteDC(g_state.backDc);
    g_state.backDc = nullptr;
  }
}

void makeBackBuffer(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  g_state.width = client.right;
  g_state.height = client.bottom;
  HDC screen = GetDC(window);
  g_state.backDc = CreateCompatibleDC(screen);
  g_state.backBitmap = CreateCompatibleBitmap(screen, g_state.width, g_state.height);
  g_state.previousBitmap = SelectObject(g_state.backDc, g_state.backBitmap);
  ReleaseDC(window, screen);
}

LRESULT CALLBACK saverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      makeBackBuffer(window);
      SetTimer(window, kFrameTimer, kFrameMilliseconds, nullptr);
      ShowCursor(FALSE);
      return 0;
    case WM_TIMER:
      ++g_state.frame;
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // every pixel is painted from the back buffer
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      drawFrame(g_state.backDc, g_state.width, g_state.height, g_state.frame);
      BitBlt(dc, 0, 0, g_state.width, g_state.height, g_state.backDc, 0, 0, SRCCOPY);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_MOUSEMOVE: {
      POINT at;
      GetCursorPos(&at);
      if (!g_state.haveFirstMouse) {
        g_state.firstMouse = at;
        g_state.haveFirstMouse = true;
      } else if (std::abs(at.x - g_state.firstMouse.x) > kMouseSlack ||
                 std::abs(at.y - g_state.firstMouse.y) > kMouseSlack) {
        DestroyWindow(window);
      }
      return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      DestroyWindow(window);
      return 0;
    case WM_ACTIVATEAPP:
      if (wParam == FALSE) DestroyWindow(window);
      return 0;
    case WM_SETCURSOR:
      SetCursor(nullptr);
      return TRUE;
    case WM_SYSCOMMAND:
      // Another saver start while this one runs, or the screen turning off, is not ours to do.
      if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_CLOSE) return 0;
      break;
    case WM_DESTROY:
      KillTimer(window, kFrameTimer);
      releaseBackBuffer();
      ShowCursor(TRUE);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int runFullScreen(HINSTANCE instance) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = saverProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassA(&windowClass) == 0) return 1;

  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (width <= 0 || height <= 0) {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
  }
  HWND window = CreateWindowExA(WS_EX_TOPMOST, kWindowClass, "Sunset", WS_POPUP | WS_VISIBLE, left, top, width,
                                height, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

// The first switch of the command line, lower-cased, without its '/' or '-': 's', 'c', 'p', 'u'.
char modeOf(const char* commandLine) {
  for (const char* at = commandLine; *at != '\0'; ++at) {
    if ((*at == '/' || *at == '-') && at[1] != '\0') {
      const char letter = at[1];
      return (letter >= 'A' && letter <= 'Z') ? static_cast<char>(letter - 'A' + 'a') : letter;
    }
  }
  return 'c';
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  pq::win32::restrictDllSearchToSystemDirectory();
  switch (modeOf(commandLine)) {
    case 's':
      return runFullScreen(instance);
    case 'p':
      return 0;
    case 'u':
      return runUninstallSwitch(commandLine);
    default:
      MessageBoxA(nullptr, "Sunset screen saver\n\nA sun sets into the sea and rises again.\nThere is nothing to set.",
                  "Sunset", MB_OK | MB_ICONINFORMATION);
      return 0;
  }
}
