// Running another program (osslsigncode) and collecting what it says, on Linux and Windows.
#pragma once

#include <string>
#include <vector>

namespace pqpack {

// True when `program` is found on the PATH (with ".exe" on Windows).
bool isProgramOnPath(const std::string& program);

// Runs `program`, looked up on the PATH, with `arguments` (UTF-8), and waits for it. Its
// standard output and standard error, interleaved, go to `output`, and its exit status to
// `status`. False when it could not be started at all.
bool runProgram(const std::string& program, const std::vector<std::string>& arguments, int* status,
                std::string* output);

} // namespace pqpack
