// Sunset.scr /u: the command the system's list of installed programs runs to remove the
// saver. It does for this saver what the installer's Un-Install does (screen saving off when
// it is the current saver, its data file and its uninstall entry removed) and removes its own
// file.
//
// It runs with administrator rights, so it trusts nothing that a standard user can write:
//  - It acts only as the saver installed in the Windows directory; a copy anywhere else
//    refuses and removes nothing.
//  - It starts no other program. A running program cannot delete its own file, but it can
//    rename it: the saver moves itself to a unique name beside itself, in the Windows
//    directory where only administrators create files, and has that name deleted at the next
//    restart. A file it cannot delete at once goes the same way.
//  - It holds the installers' action lock throughout, so it never removes what a running
//    installation has just written.
// It removes the data file, then the saver, then the entry, each only once the one before is
// gone or certain to go: whatever fails, the entry still leads to the saver, and the command
// can be run again. It exits 0 only when all is done, and otherwise says what was not.
//
//   /u      remove this saver (asking for administrator rights when it lacks them)
//   /u:e    the same, started with those rights already asked for
#include "saver_uninstall.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "installer/action_lock.h"
#include "platform/win_path.h"

namespace {

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kNotRemoved[] = "The screen saver could not be removed.\r\n\r\n";
// How many unique names a removal tries before it gives up.
const unsigned kRemovalNameAttempts = 100;

// This program's file by its long name, whatever name it was started by: the entry's key and
// the data file are named after the long one.
std::string modulePath() {
  std::vector<char> buffer(32768);
  const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::string();
  std::vector<char> longName(buffer.size());
  const DWORD longLength = GetLongPathNameA(buffer.data(), longName.data(), static_cast<DWORD>(longName.size()));
  if (longLength == 0 || longLength >= longName.size()) return std::string(buffer.data(), length);
  return std::string(longName.data(), longLength);
}

std::string windowsDirectory() {
  char buffer[MAX_PATH + 1] = {};
  const UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return std::string();
  return pq::includeTrailingBackslash(std::string(buffer, length));
}

std::string shortPath(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::string() : std::string(buffer, length);
}

// The same file or folder, whichever of its names either path uses.
bool samePath(const std::string& a, const std::string& b) {
  if (lstrcmpiA(a.c_str(), b.c_str()) == 0) return true;
  const std::string shortA = shortPath(a);
  return !shortA.empty() && lstrcmpiA(shortA.c_str(), shortPath(b).c_str()) == 0;
}

std::string systemText(DWORD error) {
  char buffer[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                      buffer, sizeof buffer, nullptr);
  char number[32];
  wsprintfA(number, "(error %lu)", static_cast<unsigned long>(error));
  return length == 0 ? std::string(number) : std::string(buffer, length) + number;
}

// Says why nothing (or not all) was removed; the exit code is 1.
int refuse(const std::string& name, const std::string& why) {
  const std::string caption = name.empty() ? std::string("Screen Saver") : name + " Screen Saver";
  MessageBoxA(nullptr, (kNotRemoved + why).c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
  return 1;
}

bool isElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  // Systems without elevation have nothing to ask for.
  return !known || elevation.TokenIsElevated != 0;
}

// Runs this saver again with administrator rights and returns its exit code. A ".scr" file may
// have no "runas" verb of its own, so the request goes through the class of programs.
int runElevated(const std::string& self, const std::string& windows, const std::string& name) {
  SHELLEXECUTEINFOA execute{};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_CLASSNAME | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  execute.lpVerb = "runas";
  execute.lpClass = "exefile";
  execute.lpFile = self.c_str();
  execute.lpParameters = "/u:e";
  execute.lpDirectory = windows.c_str();
  execute.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&execute)) {
    const DWORD error = GetLastError();
    // The user said no to the request: that is an answer, not a failure to explain.
    return error == ERROR_CANCELLED ? 1 : refuse(name, "Administrator rights could not be asked for: " + systemText(error));
  }
  if (execute.hProcess == nullptr) {
    return refuse(name, "The removal with administrator rights could not be followed: the system gave no program "
                        "to wait for.");
  }
  WaitForSingleObject(execute.hProcess, INFINITE);
  DWORD code = 1;
  if (!GetExitCodeProcess(execute.hProcess, &code)) code = 1;
  CloseHandle(execute.hProcess);
  return static_cast<int>(code);
}

// Screen saving goes off only when "system.ini" names this saver, as the installer does it.
// False when the system refuses to turn it off (its error in GetLastError()).
bool deactivateIfCurrent(const std::string& self) {
  char current[2048] = {};
  GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", current, sizeof current, "system.ini");
  return current[0] == '\0' || !samePath(current, self) ||
         SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDWININICHANGE);
}

// Whether the uninstall entry of this name is this saver's: its command names this very file.
// Another program's entry of the same name stays.
bool entryIsOwn(const std::string& self, const std::string& keyPath) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  char command[2048] = {};
  DWORD size = sizeof command - 1;
  DWORD type = 0;
  const LONG read = RegQueryValueExA(key, "UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(command), &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_SZ || command[0] != '"') return false;
  const char* end = std::strchr(command + 1, '"');
  return end != nullptr && samePath(std::string(command + 1, static_cast<size_t>(end - command - 1)), self);
}

// Removes the file now, or makes its removal certain at the next restart: renamed to a unique
// name beside itself, which is then deleted at the restart, so that a file installed again
// under the old name meanwhile stays. A missing file counts as removed. 0, or the error.
DWORD removeNowOrAtRestart(const std::string& path) {
  if (DeleteFileA(path.c_str())) return ERROR_SUCCESS;
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return ERROR_SUCCESS;
  if (error == ERROR_ACCESS_DENIED && SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL) &&
      DeleteFileA(path.c_str())) {
    return ERROR_SUCCESS;
  }
  // A running program's own file, or one open elsewhere with delete sharing.
  for (unsigned attempt = 0; attempt < kRemovalNameAttempts; ++attempt) {
    char suffix[32];
    wsprintfA(suffix, ".removed-%08lX%02u", static_cast<unsigned long>(GetTickCount() ^ GetCurrentProcessId()),
              attempt);
    const std::string doomed = path + suffix;
    if (!MoveFileExA(path.c_str(), doomed.c_str(), 0)) {
      error = GetLastError();
      if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) continue;
      return error;
    }
    if (MoveFileExA(doomed.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return ERROR_SUCCESS;
    error = GetLastError();
    MoveFileExA(doomed.c_str(), path.c_str(), 0);
    return error;
  }
  return error;
}

int removeUnderLock(const std::string& self, const std::string& name) {
  const std::string keyPath = kUninstallRoot + name;
  const bool ownEntry = entryIsOwn(self, keyPath);
  // Nothing goes while screen saving stays on with this saver: the command can be run again.
  if (!deactivateIfCurrent(self)) {
    const DWORD error = GetLastError();
    return refuse(name,
                  "Screen saving could not be turned off" + (error != ERROR_SUCCESS ? ": " + systemText(error) : "."));
  }
  const std::string dataFile = pq::changeFileExt(self, ".ssd");
  DWORD error = removeNowOrAtRestart(dataFile);
  if (error != ERROR_SUCCESS) return refuse(name, dataFile + " stays: " + systemText(error));
  error = removeNowOrAtRestart(self);
  if (error != ERROR_SUCCESS) return refuse(name, self + " stays: " + systemText(error));
  if (ownEntry) {
    const LONG deleted = RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str());
    if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) {
      return refuse(name, "Its files are removed, but not its entry in the list of programs: " +
                              systemText(static_cast<DWORD>(deleted)));
    }
  }
  return 0;
}

int removeSaver(bool rightsAsked) {
  const std::string self = modulePath();
  const DWORD pathError = GetLastError();
  const std::string name = pq::extractFileName(pq::changeFileExt(self, ""));
  if (self.empty()) return refuse(name, "Its own file name could not be read: " + systemText(pathError));
  if (name.empty()) return refuse(name, self + " has no name to find its data file and entry by.");
  const std::string windows = windowsDirectory();
  if (windows.empty() || !samePath(pq::extractFilePath(self), windows)) {
    return refuse(name, "Only the screen saver installed in the Windows folder removes itself; this copy is in " +
                            pq::extractFilePath(self) + ".");
  }
  // The entry lives under HKEY_LOCAL_MACHINE and the saver in the Windows directory.
  if (!rightsAsked && !isElevated()) return runElevated(self, windows, name);

  const std::string lockPath = windows + kActionLockFileName;
  HANDLE lock = CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (lock == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return refuse(name, error == ERROR_SHARING_VIOLATION
                            ? "Another installation or un-installation is running on this computer.\r\n\r\n"
                              "Please wait until it has finished and try again."
                            : systemText(error));
  }
  const int code = removeUnderLock(self, name);
  CloseHandle(lock);
  return code;
}

} // namespace

int runUninstallSwitch(const char* commandLine) {
  const char* at = commandLine;
  while (*at != '\0' && *at != '/' && *at != '-') ++at;
  if (*at == '\0' || (at[1] != 'u' && at[1] != 'U')) return 1;
  const char* option = at + 2;
  if (*option == '\0' || *option == ' ') return removeSaver(false);
  if (option[0] == ':' && (option[1] == 'e' || option[1] == 'E') && (option[2] == '\0' || option[2] == ' ')) {
    return removeSaver(true);
  }
  return 1;
}
