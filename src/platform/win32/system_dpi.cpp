#include "platform/win32/system_dpi.h"

namespace pq::win32 {

int systemDpi() {
  // Looked up at run time: the program also runs on systems whose user32 lacks it.
  using GetDpiForSystemProc = UINT(WINAPI*)();
  HMODULE user32 = GetModuleHandleA("user32.dll");
  if (user32 != nullptr) {
    const auto getDpiForSystem =
        reinterpret_cast<GetDpiForSystemProc>(reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForSystem")));
    if (getDpiForSystem != nullptr) {
      const UINT dpi = getDpiForSystem();
      if (dpi > 0) return static_cast<int>(dpi);
    }
  }
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return kDesignDpi;
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDesignDpi;
}

} // namespace pq::win32
