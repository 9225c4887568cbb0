// Show.exe: a small self-running slide show. A window shows a few coloured slides with a
// title and a line of text, moving on every few seconds and starting over after the last;
// Esc or a click closes it. GDI only.
#include <windows.h>

#include "platform/win32/system_dll_search.h"

namespace {

const char kWindowClass[] = "PanoquillSlideShow";
const UINT_PTR kSlideTimer = 1;
const UINT kSlideMilliseconds = 3000;

struct Slide {
  COLORREF background;
  COLORREF ink;
  const char* title;
  const char* text;
};

const Slide kSlides[] = {
    {RGB(24, 44, 92), RGB(250, 240, 210), "Panoquill Show", "A self-running presentation"},
    {RGB(196, 88, 40), RGB(255, 255, 255), "Evening", "The harbour lights come on one by one"},
    {RGB(36, 110, 72), RGB(240, 250, 230), "Morning", "Fishing boats head out past the lighthouse"},
    {RGB(120, 40, 110), RGB(255, 230, 250), "The End", "Press Esc or click to close"},
};
const int kSlideCount = sizeof kSlides / sizeof kSlides[0];

int g_current = 0;

void drawCentred(HDC dc, const RECT& area, const char* text, int height, int weight, COLORREF ink) {
  HFONT font = CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS, "Arial");
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetTextColor(dc, ink);
  SetBkMode(dc, TRANSPARENT);
  RECT box = area;
  DrawTextA(dc, text, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, oldFont);
  DeleteObject(font);
}

void drawSlide(HDC dc, const RECT& client, const Slide& slide, int index) {
  HBRUSH background = CreateSolidBrush(slide.background);
  FillRect(dc, &client, background);
  DeleteObject(background);

  const int height = client.bottom - client.top;
  RECT titleArea = {client.left, client.top + height / 4, client.right, client.top + height / 2};
  RECT textArea = {client.left, client.top + height / 2, client.right, client.top + height * 2 / 3};
  drawCentred(dc, titleArea, slide.title, height / 7, FW_BOLD, slide.ink);
  drawCentred(dc, textArea, slide.text, height / 16, FW_NORMAL, slide.ink);

  // One dot per slide along the bottom, the current one filled.
  const int radius = height / 60 + 2;
  const int gap = radius * 4;
  const int first = (client.right - gap * (kSlideCount - 1)) / 2;
  HPEN pen = CreatePen(PS_SOLID, 2, slide.ink);
  HBRUSH filled = CreateSolidBrush(slide.ink);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  for (int dot = 0; dot < kSlideCount; ++dot) {
    SelectObject(dc, dot == index ? filled : GetStockObject(NULL_BRUSH));
    const int x = first + dot * gap;
    const int y = client.bottom - gap;
    Ellipse(dc, x - radius, y - radius, x + radius, y + radius);
  }
  SelectObject(dc, oldPen);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  DeleteObject(pen);
  DeleteObject(filled);
}

LRESULT CALLBACK showProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      SetTimer(window, kSlideTimer, kSlideMilliseconds, nullptr);
      return 0;
    case WM_TIMER:
      g_current = (g_current + 1) % kSlideCount;
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // each slide paints its whole background
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT client;
      GetClientRect(window, &client);
      // Drawn off-screen first, so that a change of slide does not flicker.
      HDC back = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
      HGDIOBJ oldBitmap = SelectObject(back, bitmap);
      drawSlide(back, client, kSlides[g_current], g_current);
      BitBlt(dc, 0, 0, client.right, client.bottom, back, 0, 0, SRCCOPY);
      SelectObject(back, oldBitmap);
      DeleteObject(bitmap);
      DeleteDC(back);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) DestroyWindow(window);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      KillTimer(window, kSlideTimer);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showMode) {
  pq::win32::restrictDllSearchToSystemDirectory();
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = showProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassA(&windowClass) == 0) return 1;

  const int width = 640;
  const int height = 480;
  RECT frame = {0, 0, width, height};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&frame, style, FALSE);
  const int outerWidth = frame.right - frame.left;
  const int outerHeight = frame.bottom - frame.top;
  HWND window = CreateWindowA(kWindowClass, "Panoquill Show", style,
                              (GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2,
                              (GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2, outerWidth, outerHeight, nullptr,
                              nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, showMode);
  UpdateWindow(window);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
