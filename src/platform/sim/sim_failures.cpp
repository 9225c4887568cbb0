// Failure injection and the call log: the one place every seam call passes through.
#include "platform/sim/sim_state.h"

namespace pq {

void SimOs::failCall(const std::string& call, uint32_t error, const std::string& pathContains, int skip,
                     int times) {
  internal->failures.push_back(sim::FailureRule{call, error, pathContains, skip, times});
}

void SimOs::clearFailures() { internal->failures.clear(); }

void SimOs::logCall(const std::string& call, const std::string& argument) {
  callLog.push_back(argument.empty() ? call : call + " " + argument);
  if (onCall) onCall(callLog.back());
}

bool SimOs::injectedFailure(const std::string& call, const std::string& argument, uint32_t* error) {
  for (sim::FailureRule& rule : internal->failures) {
    if (rule.call != call || rule.times == 0) continue;
    if (!sim::containsCaseBlind(argument, rule.pathContains)) continue;
    if (rule.skip > 0) {
      // This call is one of the ones allowed through; it does not reach later rules either,
      // so that "skip N" means exactly N successful calls before the failures.
      --rule.skip;
      return false;
    }
    if (rule.times > 0) --rule.times;
    *error = rule.error;
    return true;
  }
  return false;
}

std::optional<uint32_t> SimOs::enterCall(const std::string& call, const std::string& argument) {
  logCall(call, argument);
  uint32_t error = 0;
  if (!injectedFailure(call, argument, &error)) return std::nullopt;
  lastErrorValue = error;
  return error;
}

namespace sim {

bool containsCaseBlind(const std::string& text, const std::string& part) {
  return asciiLower(text).find(asciiLower(part)) != std::string::npos;
}

} // namespace sim

} // namespace pq
