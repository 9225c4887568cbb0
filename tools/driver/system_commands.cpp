// Commands that read or hold system state for the tests: the screen-saver switch, a command
// line run as the system runs a registered one, and a file or a named event kept the way
// another program would keep it.
#include <cstdio>
#include <string>

#include "commands.h"
#include "window_query.h"

namespace pqdriver {

// Prints 1 when screen saving is on, 0 when off (SPI_GETSCREENSAVEACTIVE).
int screenSaverActive(const Arguments&) {
  BOOL active = FALSE;
  if (!SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0)) {
    std::fprintf(stderr, "pqdriver: SPI_GETSCREENSAVEACTIVE failed with error %lu\n",
                 static_cast<unsigned long>(GetLastError()));
    return kExitFailure;
  }
  std::printf("%d\n", active ? 1 : 0);
  std::fflush(stdout);
  return kExitOk;
}

// Runs a command line as the system runs a registered command (CreateProcess with the whole
// line), waits for it to end and prints "exit N" with its exit code.
int runCommand(const Arguments& arguments) {
  unsigned timeoutMs = 0;
  if (!commandTimeout(arguments, 1, &timeoutMs)) return kExitUsage;
  std::string commandLine = arguments[0];
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "pqdriver: cannot run %s (error %lu)\n", arguments[0].c_str(),
                 static_cast<unsigned long>(GetLastError()));
    return kExitFailure;
  }
  CloseHandle(process.hThread);
  const DWORD waited = WaitForSingleObject(process.hProcess, timeoutMs);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  if (waited != WAIT_OBJECT_0) {
    std::fprintf(stderr, "pqdriver: timed out after %u ms waiting for %s to end\n", timeoutMs, arguments[0].c_str());
    return kExitTimeout;
  }
  std::printf("exit %lu\n", static_cast<unsigned long>(exitCode));
  std::fflush(stdout);
  return kExitOk;
}

namespace {

// Prints "held" and keeps `handle` for `holdMs` milliseconds; when it is not `valid`, says that
// it could not `what`.
int holdHandle(HANDLE handle, bool valid, const std::string& what, unsigned holdMs) {
  if (!valid) {
    std::fprintf(stderr, "pqdriver: cannot %s (error %lu)\n", what.c_str(), static_cast<unsigned long>(GetLastError()));
    return kExitFailure;
  }
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(holdMs);
  CloseHandle(handle);
  return kExitOk;
}

} // namespace

// Opens PATH for reading, sharing only reading, and keeps it open for HOLD-MS milliseconds, so
// that nobody else can delete or replace it meanwhile (as a running program holds its file,
// and as the installer holds its temporary copy).
int holdFile(const Arguments& arguments) {
  unsigned holdMs = 0;
  if (arguments.size() != 2 || !parseTimeout(arguments[1].c_str(), &holdMs)) return kExitUsage;
  HANDLE file = CreateFileA(arguments[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return holdHandle(file, file != INVALID_HANDLE_VALUE, "open " + arguments[0], holdMs);
}

// Creates the event NAME and keeps it for HOLD-MS milliseconds: what any program of a standard
// user may do to a name that other programs mean to use for themselves.
int holdEvent(const Arguments& arguments) {
  unsigned holdMs = 0;
  if (arguments.size() != 2 || !parseTimeout(arguments[1].c_str(), &holdMs)) return kExitUsage;
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, arguments[0].c_str());
  return holdHandle(event, event != nullptr, "create the event " + arguments[0], holdMs);
}

} // namespace pqdriver
