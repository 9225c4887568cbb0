// The one way into the Windows headers. Only the Win32 backend, the program entry and the
// Windows tools include this; portable code sees the seam (platform/os.h) instead.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef STRICT
#define STRICT
#endif

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
