// The behaviour every backend of the OS seam must share, written once and run against each:
// the simulated Windows in the host unit tests and the Win32 backend under Wine.
//
// Only what both can do is checked here: no locked files, no screen-saver switch, no dialogs.
// The checks need no test framework, so that a plain Windows program can run them too.
#pragma once

#include <string>
#include <vector>

#include "platform/os.h"

namespace pqtest {

// Runs every check against `os`. `scratchDir` is a Windows path ending in '\' that exists and
// is empty; the checks leave their files there. The registry key "SOFTWARE\PanoquillContract"
// is created and removed again. Returns one line per failed check, empty when all pass.
std::vector<std::string> runOsContract(pq::Os& os, const std::string& scratchDir);

} // namespace pqtest
