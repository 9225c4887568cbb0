// pqpack verify: checks an installer against the layout an installer as produced has.
#include <cstdio>

#include "commands.h"
#include "installer_image.h"

namespace pqpack {

int runVerify(const VerifyRequest& request) {
  const std::vector<std::string> problems = findProblems(request.installer);
  for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
  if (problems.empty()) {
    std::printf("%s: no problems\n", request.installer.c_str());
    return kExit_Done;
  }
  return kExit_Failure;
}

} // namespace pqpack
