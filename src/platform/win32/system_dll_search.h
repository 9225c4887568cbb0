// Keeps DLLs planted beside a program out of it. Installers and movies are run from
// Downloads folders, where a hostile page may have dropped a DLL named like a system one,
// and Windows looks in the program's own folder first. So our programs import at start only
// what Windows always takes from its KnownDLLs (kernel32, and msvcrt for the C runtime),
// call this first thing in WinMain, and load every other system DLL afterwards, on first use
// (delay imports, cmake/delay_import.cmake). Header-only: the samples share it.
#pragma once

#include "platform/win32/windows_api.h"

namespace pq::win32 {

// From here on, a DLL loaded by bare name, and what it imports, comes from the System
// directory only. Both calls are looked up at run time, so the programs start where they are
// missing. SetDefaultDllDirectories exists from Windows 8, and on Windows 7 and Vista with
// update KB2533623. Before that, SetDllDirectoryA("") (from XP SP1) only takes the current
// directory out of the search; the program's folder stays in it.
inline void restrictDllSearchToSystemDirectory() {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr) return;
  using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryProc = BOOL(WINAPI*)(LPCSTR);
  const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesProc>(
      reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
  if (setDefaultDllDirectories != nullptr && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  const auto setDllDirectory =
      reinterpret_cast<SetDllDirectoryProc>(reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDllDirectoryA")));
  if (setDllDirectory != nullptr) setDllDirectory("");
}

} // namespace pq::win32
