// pqpack verify: checks an installer against the layout an installer as produced has.
#include <cstdio>

#include "commands.h"
#include "installer_image.h"

namespace pqpack {

int runVerify(const VerifyRequest& request) {
  const Findings findings = checkInstaller(request.installer);
  for (const std::string& problem : findings.problems) std::printf("%s\n", problem.c_str());
  for (const std::string& warning : findings.warnings) std::printf("warning: %s\n", warning.c_str());
  if (findings.problems.empty()) {
    std::printf("%s: no problems\n", request.installer.c_str());
    return kExit_Done;
  }
  return kExit_Failure;
}

} // namespace pqpack
