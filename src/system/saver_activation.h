// The current screen saver ("system.ini" [boot] SCRNSAVE.EXE and the screen-saver switch)
// and the Display control panel.
#pragma once

#include <string>

#include "errors/result_codes.h"

// The profile entry that names the current saver. The section and key keep the `kReg_` names
// of the days when system.ini held what the registry holds now; they name no registry key.
extern const char* const kProfile_SystemIni; // "system.ini"
extern const char* const kReg_Boot;          // "boot"
extern const char* const kReg_SCRNSAVEEXE;   // "SCRNSAVE.EXE"
extern const char* const kDisplayPropertiesTitle;   // "Display Properties"

// Makes the saver current and switches savers on: 0, -16 (no short path), -25 (refused),
// or a non-zero code when the profile cannot be written.
TResult makeActiveSaver(const std::string& saverPath);
// Switches savers off when the profile names this saver (long or short path, exactly).
void deactivateSaver(const std::string& saverPath);
// Clicks Cancel (item 2) of an open "Display Properties" window.
void closeDisplayControlPanel();
// Starts the Display control panel at its Screen Saver page, through the System directory's
// rundll32.exe; waits for its window by a bounded count of lookups.
void openScreenSaverControlPanel();
// Asks the shell to open a folder or file with its default verb.
void openPath(const std::string& path);
