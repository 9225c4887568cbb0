// Other programs' top-level windows, started commands and the screen-saver switch.
#include "platform/sim/sim_state.h"

namespace pq {

namespace {

constexpr int kCancelItem = 2; // IDCANCEL
constexpr uint32_t kWinExecSucceeded = 33; // WinExec reports success with a value above 31
constexpr uintptr_t kShellExecuteSucceeded = 42;

} // namespace

WindowHandle SimOs::addTopLevelWindow(const std::string& title, bool closesOnCancel) {
  const WindowHandle handle = internal->nextWindow++;
  internal->windows[handle] = sim::TopLevelWindow{title, closesOnCancel, true};
  return handle;
}

bool SimOs::windowIsOpen(WindowHandle window) const {
  const auto found = internal->windows.find(window);
  return found != internal->windows.end() && found->second.open;
}

// FindWindowA compares titles without regard to case; the oldest matching window wins.
WindowHandle SimOs::findWindow(const std::string& title) {
  ++findWindowCount;
  if (enterCall("findWindow", title)) return 0;
  const std::string wanted = asciiLower(title);
  for (const auto& [handle, window] : internal->windows)
    if (window.open && asciiLower(window.title) == wanted) return handle;
  return 0;
}

void SimOs::clickDialogItem(WindowHandle window, int itemId) {
  if (enterCall("clickDialogItem", std::to_string(window) + " " + std::to_string(itemId))) return;
  clicks.push_back(Click{window, itemId});
  const auto found = internal->windows.find(window);
  if (found != internal->windows.end() && itemId == kCancelItem && found->second.closesOnCancel)
    found->second.open = false;
}

uint32_t SimOs::winExec(const std::string& commandLine, int showMode) {
  // WinExec reports its failure in its value (an error number below 32), not the last error.
  if (const auto error = enterCall("winExec", commandLine)) return *error < 32 ? *error : 0;
  winExecCalls.push_back(Command{commandLine, showMode});
  if (onWinExec) onWinExec(commandLine);
  return kWinExecSucceeded;
}

uintptr_t SimOs::shellExecute(const std::string& verb, const std::string& file, int showMode) {
  if (const auto error = enterCall("shellExecute", file)) return *error < 32 ? *error : 0;
  shellExecuteCalls.push_back(ShellCall{verb, file, showMode});
  return kShellExecuteSucceeded;
}

bool SimOs::shellExecuteAsUser(const std::string& file, int showMode) {
  if (enterCall("shellExecuteAsUser", file)) return false;
  shellExecuteCalls.push_back(ShellCall{"", file, showMode, true});
  return true;
}

bool SimOs::setScreenSaveActive(bool active, uint32_t flags) {
  if (enterCall("setScreenSaveActive", active ? "1" : "0")) return false;
  spiCalls.push_back(SpiCall{active, flags});
  if (refuseScreenSave) return failWith(kWinErrorAccessDenied);
  screenSaveActiveState = active;
  return true;
}

} // namespace pq
