// The program's error dialog. A standard message box offers no button set with a single
// "&Abort", so the dialog is built here: title "Error", the stop icon, the text, one button.
#pragma once

#include <string>

#include "platform/win32/windows_api.h"

namespace pq::win32 {

// Control ids of the dialog, for the automation driver and tests.
constexpr int kErrorDialogTextId = 0xFFFF; // as in the system's message boxes
constexpr int kErrorDialogIconId = 20;

// Shows the dialog, modal to `owner` (may be null) and centred on the screen, and returns
// when the user has closed it by any means.
void runErrorDialog(HWND owner, const std::string& text);

} // namespace pq::win32
