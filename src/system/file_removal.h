// Removing files that the installer replaces, cleans up or uninstalls. One removal attempt:
// delete; if that fails, reset the attributes to normal and delete again.
#pragma once

#include <cstdint>
#include <string>

#include "errors/result_codes.h"

enum class ShowError { No, Yes };

// True when a file (not a directory) exists at `path` (FindFirstFile semantics).
bool fileExists(const std::string& path);

// Up to `attempts` removal attempts in a row, without pause. Busy: -38 for a ".scr" path,
// else -32; -1 when given no attempts. Shows one message for the final result when asked.
TResult myDeleteFile_WaitUntilNotBusy(const std::string& path, ShowError show, int32_t attempts);
// One removal attempt; busy is -32. Shows the message when asked.
TResult myDeleteFile(const std::string& path, ShowError show);
// The same as myDeleteFile under the name the quiet rollback calls it by. Quiet is what the
// rollback asks for with ShowError::No; with ShowError::Yes it shows its failure all the same.
TResult deleteQuietly(const std::string& path, ShowError show);

constexpr int32_t kBusyFileAttempts = 5000;
