// The uninstall entry under HKEY_LOCAL_MACHINE and the quiet rollback of a failed saver.
#pragma once

#include <string>

#include "errors/result_codes.h"

extern const char* const kReg_UninstallRoot; // "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\"

// Writes "DisplayName" and "UninstallString" under the saver's key; 0 or a non-zero code.
TResult createUninstallKey(const std::string& saverName);
// Removes the saver's key with its values and subkeys; silent.
void deleteUninstallKey(const std::string& saverName);
// Removes the saver, its " dir" path, its ".ssd" file and its key; silent.
void doQuietUninstall(const std::string& saverPath);
