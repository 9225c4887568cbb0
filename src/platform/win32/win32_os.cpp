// Windows, processes, libraries, messages and the application of the Win32 backend.
#include "platform/win32/win32_os.h"

#include <vector>

#include "platform/win32/error_dialog.h"
#include "platform/win32/unique_handle.h"

namespace pq::win32 {

namespace {

class Win32Library final : public OsLibrary {
public:
  explicit Win32Library(LibraryHandle owned) : module(std::move(owned)) {}

  void* symbol(const char* name) override {
    return reinterpret_cast<void*>(GetProcAddress(module.get(), name));
  }

private:
  LibraryHandle module;
};

// ShutdownBlockReasonCreate and ShutdownBlockReasonDestroy, looked up at run time: user32
// has them from Windows Vista on. Null where it lacks them.
template <typename Proc>
Proc user32Function(const char* name) {
  HMODULE user32 = GetModuleHandleA("user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

} // namespace

HCURSOR cursorHandle(AppCursor cursor) {
  switch (cursor) {
  case AppCursor::Wait: return LoadCursor(nullptr, IDC_WAIT);
  case AppCursor::HandPoint: return LoadCursor(nullptr, IDC_HAND);
  case AppCursor::Default: break;
  }
  return LoadCursor(nullptr, IDC_ARROW);
}

bool applyAppCursor() {
  const AppCursor cursor = os().appCursor();
  if (cursor == AppCursor::Default) return false;
  SetCursor(cursorHandle(cursor));
  return true;
}

bool Win32Os::setScreenSaveActive(bool active, uint32_t flags) {
  const bool ok = SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, active ? TRUE : FALSE, nullptr, flags) != 0;
  if (!ok) takeLastError();
  return ok;
}

WindowHandle Win32Os::findWindow(const std::string& title) {
  return reinterpret_cast<WindowHandle>(FindWindowA(nullptr, title.c_str()));
}

void Win32Os::clickDialogItem(WindowHandle window, int itemId) {
  SendDlgItemMessageA(reinterpret_cast<HWND>(window), itemId, BM_CLICK, 0, 0);
}

uint32_t Win32Os::winExec(const std::string& commandLine, int showMode) {
  const UINT result = WinExec(commandLine.c_str(), static_cast<UINT>(showMode));
  if (result <= 31) takeLastError();
  return result;
}

uintptr_t Win32Os::shellExecute(const std::string& verb, const std::string& file, int showMode) {
  const HINSTANCE result =
      ShellExecuteA(nullptr, verb.empty() ? nullptr : verb.c_str(), file.c_str(), nullptr, nullptr, showMode);
  return reinterpret_cast<uintptr_t>(result);
}

bool Win32Os::blockShutdown(const std::string& reason) {
  shutdownBlocked = true;
  using CreateProc = BOOL(WINAPI*)(HWND, LPCWSTR);
  const auto create = user32Function<CreateProc>("ShutdownBlockReasonCreate");
  if (create == nullptr || mainWindow == nullptr) {
    lastErrorNumber = kWinErrorProcNotFound;
    return false;
  }
  // The reason is ANSI text of the program; the call takes it in UTF-16.
  const int length = MultiByteToWideChar(CP_ACP, 0, reason.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, reason.c_str(), -1, wide.data(), length);
  const bool ok = create(mainWindow, wide.data()) != 0;
  if (!ok) takeLastError();
  return ok;
}

bool Win32Os::allowShutdown() {
  shutdownBlocked = false;
  using DestroyProc = BOOL(WINAPI*)(HWND);
  const auto destroy = user32Function<DestroyProc>("ShutdownBlockReasonDestroy");
  if (destroy == nullptr || mainWindow == nullptr) {
    lastErrorNumber = kWinErrorProcNotFound;
    return false;
  }
  const bool ok = destroy(mainWindow) != 0;
  if (!ok) takeLastError();
  return ok;
}

std::unique_ptr<OsLibrary> Win32Os::loadLibrary(const std::string& path) {
  LibraryHandle module(LoadLibraryA(path.c_str()));
  if (!module) {
    takeLastError();
    return nullptr;
  }
  return std::make_unique<Win32Library>(std::move(module));
}

std::string Win32Os::systemMessage(uint32_t code, uint32_t bufferChars) {
  if (bufferChars == 0) return {};
  std::vector<char> buffer(bufferChars + 1);
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer.data(), bufferChars, nullptr);
  return std::string(buffer.data(), length);
}

void Win32Os::showErrorDialog(const std::string& text) { runErrorDialog(mainWindow, text); }

bool Win32Os::messageBoxYesNo(const std::string& text, const std::string& caption) {
  return MessageBoxA(mainWindow, text.c_str(), caption.c_str(), MB_YESNO) == IDYES;
}

void Win32Os::setAppCursor(AppCursor newCursor) {
  cursor = newCursor;
  // Show the change at once, not at the next mouse move: the work that sets the wait cursor
  // starts now, and the pointer may rest until it ends.
  if (newCursor != AppCursor::Default) {
    SetCursor(cursorHandle(newCursor));
    return;
  }
  // Back to Default: let the window under the pointer pick its own cursor again.
  POINT point{};
  if (!GetCursorPos(&point)) return;
  const HWND under = WindowFromPoint(point);
  if (under != nullptr && GetWindowThreadProcessId(under, nullptr) == GetCurrentThreadId()) {
    SendMessageA(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  }
}

void Win32Os::processMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The main loop must still see it and end.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (mainWindow != nullptr && IsDialogMessageA(mainWindow, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void Win32Os::minimizeApplication() {
  if (mainWindow != nullptr) ShowWindow(mainWindow, SW_MINIMIZE);
}

} // namespace pq::win32
