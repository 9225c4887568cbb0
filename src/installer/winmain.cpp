// The program entry of pqsetup.exe: the Win32 backend behind the seam, the main window
// TForm1 on screen, and the message loop until that window closes.
#include "installer/fInstall.h"
#include "platform/win32/form_window.h"
#include "platform/win32/system_dll_search.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/windows_api.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before the first call into a delay-imported DLL: none may come from the installer's folder.
  pq::win32::restrictDllSearchToSystemDirectory();

  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);

  pq::win32::Win32Os backend;
  pq::setOs(&backend);

  TForm1 Form1;
  pq::win32::Win32FormView view(Form1, &backend);
  if (!view.create()) return 1;
  Form1.setView(&view);

  // The creation handler runs before the window is first shown, so a start-up failure's
  // dialog comes before the window, and the window opens with the captions of its mode.
  Form1.FormCreate(&Form1);
  if (Form1.closed() || view.handle() == nullptr) return 0;
  view.show();

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    HWND main = view.handle();
    if (main != nullptr && IsDialogMessageA(main, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }

  Form1.setView(nullptr);
  pq::setOs(nullptr);
  return 0;
}
