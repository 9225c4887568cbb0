// pqdriver: drives the installer's windows under Wine for the end-to-end tests.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "window_query.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const pqdriver::Arguments&);
};

const Command kCommands[] = {
    {"wait-window", "TITLE [timeout-ms]", pqdriver::waitWindow},
    {"wait-gone", "TITLE [timeout-ms]", pqdriver::waitGone},
    {"wait-text", "TITLE TEXT [timeout-ms]", pqdriver::waitText},
    {"texts", "TITLE [timeout-ms]", pqdriver::texts},
    {"dialog-text", "TITLE [timeout-ms]", pqdriver::dialogText},
    {"click", "TITLE BUTTON-TEXT [timeout-ms]", pqdriver::click},
    {"answer", "TITLE BUTTON-TEXT [timeout-ms]", pqdriver::answer},
    {"close", "TITLE [timeout-ms]", pqdriver::closeWindow},
    {"query-end-session", "TITLE [timeout-ms]", pqdriver::queryEndSession},
    {"point-at", "TITLE CONTROL-TEXT [timeout-ms]", pqdriver::pointAt},
    {"make-window", "TITLE [record-file] [lifetime-ms] [hang]", pqdriver::makeWindow},
    {"screen-saver-active", "", pqdriver::screenSaverActive},
    {"hold-file", "PATH HOLD-MS", pqdriver::holdFile},
    {"hold-event", "NAME HOLD-MS", pqdriver::holdEvent},
    {"run", "COMMAND-LINE [timeout-ms]", pqdriver::runCommand},
};

int usage() {
  std::fprintf(stderr, "usage:\n");
  for (const Command& command : kCommands) std::fprintf(stderr, "  pqdriver %s %s\n", command.name, command.usage);
  return pqdriver::kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const pqdriver::Arguments arguments(argv + 2, argv + argc);
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) != 0) continue;
    const int result = command.run(arguments);
    if (result == pqdriver::kExitUsage) std::fprintf(stderr, "usage: pqdriver %s %s\n", command.name, command.usage);
    return result;
  }
  return usage();
}
