// The uninstall entry under HKEY_LOCAL_MACHINE and the quiet rollback of a failed saver.
#pragma once

#include <string>

#include "errors/result_codes.h"

extern const char* const kReg_UninstallRoot; // "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\"

// Writes "DisplayName" and "UninstallString" under the key of the saver at `saverPath` (its
// file name without the extension); the command is the saver's path in quotes and " /u".
// 0 or a non-zero code.
TResult createUninstallKey(const std::string& saverPath);
// Removes the saver's key with its values and subkeys; silent.
void deleteUninstallKey(const std::string& saverName);
// Removes the saver, its " dir" path, its ".ssd" file and its key; silent.
void doQuietUninstall(const std::string& saverPath);
