/* A stand-in for a DLL or a program that a hostile page dropped into a Downloads folder under
   a system name: loaded into a process, or started, it leaves an empty file named after itself
   plus ".loaded" beside itself. It imports only kernel32 and has no C runtime, so it works
   under any name. */
#include <windows.h>

static void leaveMarker(HMODULE self) {
  char path[MAX_PATH + 8];
  const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    lstrcpyA(path + length, ".loaded");
    HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  }
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) leaveMarker(self);
  return TRUE;
}

/* The entry point of the program built from this file. */
void WINAPI programStart(void) {
  leaveMarker(NULL);
  ExitProcess(0);
}
