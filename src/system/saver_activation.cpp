#include "system/saver_activation.h"

#include <cstdint>

#include "errors/logFile.h"
#include "platform/os.h"
#include "platform/win_path.h"

const char* const kProfile_SystemIni = "system.ini";
const char* const kReg_Boot = "boot";
const char* const kReg_SCRNSAVEEXE = "SCRNSAVE.EXE";
const char* const kDisplayPropertiesTitle = "Display Properties";

namespace {

// The command that opens the Display control panel: the program, in the System directory, and
// its arguments. Page 1 of the panel is its Screen Saver page.
const char* const kDisplayControlPanelProgram = "rundll32.exe";
const char* const kDisplayControlPanelArguments = "shell32.dll,Control_RunDLL desk.cpl,,1";

// MAX_PATH: no short path is longer.
constexpr uint32_t kShortPathBufferChars = 260;
// The profile value is read into a buffer of this size and cut there; a longer value cannot
// equal any path we compare it with.
constexpr uint32_t kProfileValueBufferChars = 2048;
// SPIF_SENDWININICHANGE alone: announce the change, but leave the switch's own profile
// setting as it is.
constexpr uint32_t kSpiFlagsAnnounceOnly = 2;
// The dialog's Cancel button (IDCANCEL).
constexpr int kCancelButtonId = 2;
// The control panel starts in another process and the installer closes its own window as
// soon as the panel's window is there; the count bounds the wait when it never appears.
constexpr int kControlPanelLookups = 1000;

} // namespace

namespace {

TResult activate(const std::string& saverPath) {
  pq::Os& os = pq::os();
  std::string sShortName = os.shortPathName(saverPath, kShortPathBufferChars);
  if (sShortName.empty()) return kErr_FileNotFound;
  logLine("sShortName " + sShortName);
  if (!os.writePrivateProfileString(kReg_Boot, kReg_SCRNSAVEEXE, sShortName, kProfile_SystemIni)) {
    // Switching savers on now would activate whatever the profile still names.
    // One that fails without telling why is a write fault: the caller must see a failure, never 0.
    return failureCode(os.lastError(), pq::kWinErrorWriteFault);
  }
  if (!os.setScreenSaveActive(true, kSpiFlagsAnnounceOnly)) return kErr_CannotActivate;
  return kErr_None;
}

} // namespace

TResult makeActiveSaver(const std::string& saverPath) {
  TResult result = kErr_None;
  LogOperation trace("makeActiveSaver", saverPath, &result);
  result = activate(saverPath);
  return result;
}

void deactivateSaver(const std::string& saverPath) {
  LogOperation trace("deactivateSaver", saverPath);
  pq::Os& os = pq::os();
  std::string sShortName = os.shortPathName(saverPath, kShortPathBufferChars);
  if (sShortName.empty()) return;
  std::string current = os.getPrivateProfileString(kReg_Boot, kReg_SCRNSAVEEXE, "", kProfileValueBufferChars,
                                                   kProfile_SystemIni);
  // Exact comparison on purpose: the profile holds what makeActiveSaver wrote, byte for byte.
  if (current == saverPath || current == sShortName) {
    os.setScreenSaveActive(false, kSpiFlagsAnnounceOnly);
  }
}

void closeDisplayControlPanel() {
  LogOperation trace("closeDisplayControlPanel", "");
  pq::Os& os = pq::os();
  pq::WindowHandle window = os.findWindow(kDisplayPropertiesTitle);
  if (window != 0) os.clickDialogItem(window, kCancelButtonId);
}

void openScreenSaverControlPanel() {
  LogOperation trace("openScreenSaverControlPanel", "");
  pq::Os& os = pq::os();
  // The program by its full, quoted path in the System directory: a bare name is looked for
  // first in the installer's own folder, where whoever can write to a Downloads folder may have
  // left a program of that name to run with the installer's rights. Without a System
  // directory there is nowhere safe to start it from.
  const std::string system = os.systemDirectory(pq::kDirectoryBufferChars);
  if (!system.empty()) {
    os.winExec("\"" + pq::includeTrailingBackslash(system) + kDisplayControlPanelProgram + "\" " +
                   kDisplayControlPanelArguments,
               pq::kShowNormal);
  }
  for (int lookup = 0; lookup < kControlPanelLookups; ++lookup) {
    if (os.findWindow(kDisplayPropertiesTitle) != 0) return;
  }
}

void openPath(const std::string& path) {
  LogOperation trace("openPath", path);
  pq::os().shellExecute("", path, pq::kShowNormal);
}
