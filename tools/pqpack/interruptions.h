// Interrupted (Ctrl-C, SIGTERM from a CI job's timeout, a closed terminal), pqpack leaves
// nothing behind: no temporary file, and no program it started still running. Each temporary
// file is registered here before it is created and forgotten once it is renamed into place or
// removed; each program from before it starts until it has ended. An interruption holds every
// registration still, stops the programs and waits for them to end, removes the files, and
// then ends pqpack by the same signal, so that a shell or a CI runner sees what ended it.
#pragma once

#include <filesystem>
#include <functional>

namespace pqpack {

// Called once by main(), before any other thread starts: from then on an interruption is
// handled as above. Without it (the unit tests) registrations are kept but nothing waits.
void cleanUpWhenInterrupted();

void registerTemporaryFile(const std::filesystem::path& path);
void forgetTemporaryFile(const std::filesystem::path& path);
// Runs `create`, which creates a registered temporary file, with interruptions held off: one
// that comes while the file is being created removes it once it is there, instead of before.
void createWithInterruptionsHeld(const std::function<void()>& create);

// A program pqpack started: its process id on Linux, its process handle on Windows.
#ifdef _WIN32
using StartedProgram = void*;
#else
using StartedProgram = int;
#endif
// Runs `start`, which starts a program and returns it (false when it could not), with
// interruptions held off until the program is registered: none can slip in between.
bool startRegisteredProgram(const std::function<bool(StartedProgram*)>& start);
// Called once the program has ended, before its process is reaped (its id is still its own).
// Blocks for good while an interruption is being handled, so nothing more happens then.
void forgetProgram(StartedProgram program);

} // namespace pqpack
