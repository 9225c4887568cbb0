// The uninstall entry under HKEY_LOCAL_MACHINE and the quiet rollback of a failed saver.
#pragma once

#include <string>
#include <vector>

#include "errors/result_codes.h"

extern const char* const kReg_UninstallRoot; // "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\"

// Writes "DisplayName" and "UninstallString" under the key of the saver at `saverPath` (its
// file name without the extension); the command is the saver's path in quotes and " /u".
// 0 or a non-zero code.
TResult createUninstallKey(const std::string& saverPath);
// Removes the saver's key with its values and subkeys; silent.
void deleteUninstallKey(const std::string& saverName);
// The silent rollback of a failed installation: removes the saver, its " dir" path, its ".ssd"
// file and its key, but only what the failed installation itself put in place. `claimed`
// lists the paths it cleared for its own files; the " dir" path and the key go with a saver
// of its own. Another installation's files and entry stay.
void doQuietUninstall(const std::string& saverPath, const std::vector<std::string>& claimed);
