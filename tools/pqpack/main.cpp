// pqpack: builds installers, inspects them, and runs the implode codec from the command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "program_version.h"

namespace {

const char kUsage[] =
    "usage: pqpack COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  build -o OUT [--stub EXE] [--library DLL] [--level fast|best] [--compress-data]\n"
    "        MAIN DATA [LIB [LIB]]      build an installer\n"
    "  list INSTALLER                   show the mode, the program's version and the six\n"
    "                                   directory entries\n"
    "  verify INSTALLER                 check an installer's layout and entries\n"
    "  extract INSTALLER DIR            write entries 1 to 5 into DIR\n"
    "  ssd --quicktime-level N CONTENT OUT   write a data file\n"
    "  implode [--ascii] [--dict 1024|2048|4096] [--level fast|best] IN OUT\n"
    "                                   compress IN into one raw implode stream\n"
    "  explode IN OUT                   expand a raw implode stream; exit status is the\n"
    "                                   decoder's result (0 to 4)\n"
    "\n"
    "pqpack COMMAND --help shows more about one command; pqpack --version shows the version.\n";

struct Command {
  const char* name;
  int (*run)(const Args&);
};

const Command kCommands[] = {
    {"build", commandBuild},     {"list", commandList},       {"verify", commandVerify},
    {"extract", commandExtract}, {"ssd", commandSsd},         {"implode", commandImplode},
    {"explode", commandExplode},
};

} // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("pqpack %s (%s build)\n", pqpack::projectVersion(), pqpack::buildType());
    return 0;
  }
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) == 0) return command.run(Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "pqpack: unknown command '%s'\n\n%s", argv[1], kUsage);
  return 2;
}
