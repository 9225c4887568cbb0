// pqpack verify: checks an installer against the layout an installer as produced has, and
// prints the findings as lines or as JSON.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "installer_image.h"

namespace pqpack {

int runVerify(const VerifyRequest& request) {
  const Findings findings = checkInstaller(request.installer);
  if (request.json) {
    const nlohmann::ordered_json report = {{"file", request.installer},
                                   {"ok", findings.problems.empty()},
                                   {"problems", findings.problems},
                                   {"warnings", findings.warnings},
                                   {"signed", findings.isSigned},
                                   {"signer", findings.signer.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(findings.signer)}};
    std::printf("%s\n", report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
  } else {
    for (const std::string& problem : findings.problems) std::printf("%s\n", problem.c_str());
    for (const std::string& warning : findings.warnings) std::printf("warning: %s\n", warning.c_str());
    if (findings.problems.empty()) std::printf("%s: no problems\n", request.installer.c_str());
  }
  return findings.problems.empty() ? kExit_Done : kExit_Failure;
}

} // namespace pqpack
