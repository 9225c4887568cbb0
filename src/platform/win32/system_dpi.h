// The screen: its pixels per inch, the layout's 96-DPI pixels scaled to it, and its centre.
// The program's manifest declares it aware of the system DPI, so Windows no longer stretches
// its window as a bitmap: the window must itself lay out every place, size and font at that DPI.
#pragma once

#include "platform/win32/windows_api.h"

namespace pq::win32 {

// The DPI the layout is designed at.
constexpr int kDesignDpi = 96;

// The system DPI: GetDpiForSystem where the system has it (Windows 10 1607 and later, and
// Wine), else the screen's LOGPIXELSY; 96 when neither answers.
int systemDpi();

// A length in 96-DPI pixels at `dpi`, rounded as MulDiv rounds (half away from zero).
inline int scaleToDpi(int designPixels, int dpi) { return MulDiv(designPixels, dpi, kDesignDpi); }

// Where a window with this outer frame stands centred on the primary screen: the main window
// and the error dialog both open there.
inline POINT centredOnScreen(const RECT& frame) {
  return POINT{(GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2};
}

} // namespace pq::win32
