// pqpack verify: checks an installer against the layout an installer as produced has.
#include <cstdio>

#include "commands.h"
#include "installer_image.h"

namespace {

const char kVerifyHelp[] =
    "usage: pqpack verify INSTALLER\n"
    "\n"
    "Checks the directory table and every entry: entry 0 as produced, entries 1 to 5 placed one\n"
    "after the other from the end of the table to the end of the file, each with at least one\n"
    "byte, a safe name and a known kind, entry 1 the stored compression library, entry 3 the data\n"
    "file, the sizes, and that each compressed entry starts 00 06 and expands to exactly its\n"
    "expanded size. Prints one line per problem; the exit status is 0 only when there is none.\n";

} // namespace

int commandVerify(const Args& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kVerifyHelp, stdout);
    return 0;
  }
  if (args.size() != 1) {
    std::fprintf(stderr, "pqpack verify: give exactly one INSTALLER\n\n%s", kVerifyHelp);
    return 2;
  }
  const std::vector<std::string> problems = pqpack::findProblems(args[0]);
  for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
  if (problems.empty()) {
    std::printf("%s: no problems\n", args[0].c_str());
    return 0;
  }
  return 1;
}
