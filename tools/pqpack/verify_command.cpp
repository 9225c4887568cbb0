// pqpack verify: checks an installer against the layout an installer as produced has, and
// prints the findings as lines or as JSON.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "console_text.h"
#include "installer_image.h"

namespace pqpack {

namespace {

nlohmann::ordered_json findingsAsJson(const std::vector<Finding>& findings) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Finding& finding : findings) {
    list.push_back({{"code", findingCodeName(finding.code)},
                    {"entry", finding.entry == kNoEntry ? nlohmann::ordered_json() : nlohmann::ordered_json(finding.entry)},
                    {"message", finding.message}});
  }
  return list;
}

} // namespace

int runVerify(const VerifyRequest& request) {
  const Findings findings = checkInstaller(request.installer);
  if (request.json) {
    const nlohmann::ordered_json report = {
        {"schemaVersion", kJsonSchemaVersion},
        {"file", request.installer},
        {"ok", findings.problems.empty()},
        {"problems", findingsAsJson(findings.problems)},
        {"warnings", findingsAsJson(findings.warnings)},
        {"signed", findings.isSigned},
        {"signer", findings.signer.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(findings.signer)}};
    std::printf("%s\n", report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
  } else {
    for (const Finding& problem : findings.problems) printLine(stdout, problem.message);
    for (const Finding& warning : findings.warnings) printLine(stdout, "warning: " + warning.message);
    if (findings.problems.empty()) printLine(stdout, request.installer + ": no problems");
  }
  return findings.problems.empty() ? kExit_Done : kExit_Failure;
}

} // namespace pqpack
