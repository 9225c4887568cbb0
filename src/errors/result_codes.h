// Result codes. 0 is success, the installer's own codes are negative, and positive values
// are operating-system error numbers (plus 100, the run-time number for a read past the end
// of a file). A code travels upward unchanged; only the operation that detects a failure
// shows it.
#pragma once

#include <cstdint>

using TResult = int32_t;

constexpr TResult kErr_None = 0;
constexpr TResult kErr_Unspecified = -1;          // the retrying removal was given no attempts
constexpr TResult kErr_NoBuffer = -7;             // no buffer for an entry's stored bytes
constexpr TResult kErr_SizeMismatch = -13;        // expanded file's size differs from the directory
constexpr TResult kErr_FileNotFound = -16;        // a file that must exist does not
constexpr TResult kErr_CannotActivate = -25;      // the system refused to switch savers on
constexpr TResult kErr_ShortTransfer = -30;       // fewer bytes read or written than needed
constexpr TResult kErr_DirectoryShort = -31;      // the directory table could not be read whole
constexpr TResult kErr_FileBusy = -32;            // a file stays in place after both deletions
constexpr TResult kErr_InstallerCorrupted = -34;  // message code: the installer may be damaged
constexpr TResult kErr_NoCompressor = -35;        // no compression binding object
constexpr TResult kErr_SaverBusy = -38;           // as -32, for a ".scr" file
constexpr TResult kErr_ActionRunning = -40;       // another install or uninstall runs on the machine
constexpr TResult kErr_QuickTimeRequired = -200;  // installed QuickTime below the required level

// Run-time I/O number for a block read that runs past the end of a file.
constexpr TResult kIoErr_ReadBeyondEnd = 100;

// The result code of a failed call from the system's error number. A call can fail without
// the system keeping a number for it; that failure must still read as one, never as 0.
inline TResult failureCode(uint32_t systemError, TResult fallback = kErr_Unspecified) {
  const TResult code = static_cast<TResult>(systemError);
  return code > 0 ? code : fallback;
}
