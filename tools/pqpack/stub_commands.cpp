// Placeholders for commands that are not built yet; each file that implements a command
// removes its line here.
#include <cstdio>

#include "commands.h"

namespace {
int notYet(const char* name) {
  std::fprintf(stderr, "pqpack: '%s' is not available yet\n", name);
  return 2;
}
} // namespace

int commandBuild(const Args&) { return notYet("build"); }
int commandList(const Args&) { return notYet("list"); }
int commandVerify(const Args&) { return notYet("verify"); }
int commandExtract(const Args&) { return notYet("extract"); }
int commandSsd(const Args&) { return notYet("ssd"); }
