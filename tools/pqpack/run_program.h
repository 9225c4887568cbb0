// Running another program (osslsigncode) and collecting what it says, on Linux and Windows.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pqpack {

// True when `program` is found on the PATH (with ".exe" on Windows).
bool isProgramOnPath(const std::string& program);

// How a program is started.
struct ProgramOptions {
  // Written to its standard input, which is then closed; without it, the program reads
  // pqpack's own standard input. Linux only: on Windows it always reads pqpack's.
  std::optional<std::string> input;
  // Started apart from pqpack's terminal (in a session of its own), so that it cannot wait
  // there for an answer nobody is watching for: its questions fail at once instead. Always
  // so on Windows, where it gets no console.
  bool withoutTerminal = false;
};

// Runs `program`, looked up on the PATH, with `arguments` (UTF-8), and waits for it. Its
// standard output and standard error, interleaved, go to `output`, and its exit status to
// `status`. False when it could not be started at all. Interrupted meanwhile, pqpack stops it
// (interruptions.h).
bool runProgram(const std::string& program, const std::vector<std::string>& arguments, const ProgramOptions& options,
                int* status, std::string* output);
inline bool runProgram(const std::string& program, const std::vector<std::string>& arguments, int* status,
                       std::string* output) {
  return runProgram(program, arguments, ProgramOptions{}, status, output);
}

} // namespace pqpack
