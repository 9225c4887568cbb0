// Commands that read or hold system state for the tests: the screen-saver switch and a file
// kept open the way another program would keep it.
#include <cstdio>

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

// Opens PATH with no sharing, prints "held", and keeps it open for HOLD-MS milliseconds, so
// that nobody else can delete or replace it meanwhile.
int holdFile(const Arguments& arguments) {
  unsigned holdMs = 0;
  if (arguments.size() != 2 || !parseTimeout(arguments[1].c_str(), &holdMs)) return kExitUsage;
  HANDLE file = CreateFileA(arguments[0].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "pqdriver: cannot open %s (error %lu)\n", arguments[0].c_str(),
                 static_cast<unsigned long>(GetLastError()));
    return kExitFailure;
  }
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(holdMs);
  CloseHandle(file);
  return kExitOk;
}

} // namespace pqdriver
