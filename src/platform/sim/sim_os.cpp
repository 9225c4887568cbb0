// The simulated machine's construction, its directories and its last-error slot.
#include "platform/sim/sim_os.h"

#include "platform/sim/sim_state.h"

namespace pq {

namespace {

// GetWindowsDirectoryA and its kin fill the buffer only when the text and its NUL fit.
std::string fittedDirectory(const std::string& text, uint32_t bufferChars) {
  if (text.size() + 1 > bufferChars) return std::string();
  return text;
}

} // namespace

SimOs::SimOs(std::filesystem::path root) : rootFolder(std::move(root)), internal(new State) {
  std::filesystem::create_directories(rootFolder);
  internal->root = rootFolder;
  makeDirectory("C:\\WINDOWS");
  makeDirectory("C:\\WINDOWS\\SYSTEM32");
}

SimOs::~SimOs() { delete internal; }

void SimOs::setWindowsDirectoryReported(const std::string& text) { windowsReported = text; }
void SimOs::setSystemDirectoryReported(const std::string& text) { systemReported = text; }
void SimOs::setExecutablePath(const std::string& path) { exePath = path; }

std::string SimOs::windowsDirectory(uint32_t bufferChars) {
  if (enterCall("windowsDirectory", "")) return std::string();
  return fittedDirectory(windowsReported, bufferChars);
}

std::string SimOs::systemDirectory(uint32_t bufferChars) {
  if (enterCall("systemDirectory", "")) return std::string();
  return fittedDirectory(systemReported, bufferChars);
}

std::string SimOs::executablePath() {
  if (enterCall("executablePath", "")) return std::string();
  return exePath;
}

uint64_t SimOs::systemTimeAsFileTime() {
  enterCall("systemTimeAsFileTime", "");
  return internal->clock;
}

uint64_t SimOs::tickCount64() {
  enterCall("tickCount64", "");
  return (internal->clock - internal->bootTime) / sim::kTicksPerMillisecond;
}

void SimOs::restart() {
  internal->clock += 60 * sim::kTicksPerSecond;
  internal->bootTime = internal->clock;
  internal->clock += sim::kTicksPerSecond;
}

bool SimOs::blockShutdown(const std::string& reason) {
  const bool injected = enterCall("blockShutdown", reason).has_value();
  shutdownBlocked = true;
  if (injected) return false;
  shutdownReasonText = reason;
  return true;
}

bool SimOs::allowShutdown() {
  const bool injected = enterCall("allowShutdown", "").has_value();
  shutdownBlocked = false;
  if (injected) return false;
  shutdownReasonText.clear();
  return true;
}

// Not logged: reading the last error is bookkeeping of the caller, not an action on the
// machine, and logging it would bury the calls a test looks for.
uint32_t SimOs::lastError() { return lastErrorValue; }

} // namespace pq
