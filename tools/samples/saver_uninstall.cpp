// Sunset.scr /u: the command the system's list of installed programs runs to remove the
// saver. It does for this saver what the installer's Un-Install does (screen saving off when
// it is the current saver, its uninstall entry and its data file removed) and then removes
// its own file once it has exited.
//
// A running program cannot delete its own file, so it leaves that to a copy of itself in a
// folder of its own under %TEMP%: the copy waits for the saver's process to end, checks that
// the file it is to remove is still byte for byte the saver it was copied from, deletes it,
// and asks for itself and its folder to be removed at the next restart. Nothing but the
// saver's own file can be deleted that way, whatever command line the copy is given.
//
//   /u                 remove this saver (asking for administrator rights when it lacks them)
//   /u:e               the same, started with those rights already asked for
//   /u:HANDLE "PATH"   the copy: wait for the process HANDLE, then delete PATH
#include "saver_uninstall.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win_path.h"

namespace {

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// How long the copy waits for the saver to end, and then for its file to be free.
const DWORD kExitWaitMs = 60000;
const int kDeleteAttempts = 50;
const DWORD kDeleteRetryMs = 100;

std::string modulePath() {
  std::vector<char> buffer(32768);
  const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::string();
  return std::string(buffer.data(), length);
}

std::string shortPath(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::string() : std::string(buffer, length);
}

// The same file, whichever of its names either path uses.
bool samePath(const std::string& a, const std::string& b) {
  if (lstrcmpiA(a.c_str(), b.c_str()) == 0) return true;
  const std::string shortA = shortPath(a);
  return !shortA.empty() && lstrcmpiA(shortA.c_str(), shortPath(b).c_str()) == 0;
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

// Screen saving goes off only when "system.ini" names this saver, as the installer does it.
void deactivateIfCurrent(const std::string& self) {
  char current[2048] = {};
  GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", current, sizeof current, "system.ini");
  if (current[0] != '\0' && samePath(current, self)) {
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDWININICHANGE);
  }
}

// The entry goes only when its command names this very file: another program's entry of the
// same name stays.
void deleteOwnUninstallEntry(const std::string& self, const std::string& name) {
  const std::string keyPath = kUninstallRoot + name;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
  char command[2048] = {};
  DWORD size = sizeof command - 1;
  DWORD type = 0;
  const LONG read = RegQueryValueExA(key, "UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(command), &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_SZ || command[0] != '"') return;
  const char* end = std::strchr(command + 1, '"');
  if (end == nullptr || !samePath(std::string(command + 1, static_cast<size_t>(end - command - 1)), self)) return;
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str());
}

void deleteFileAnyway(const std::string& path) {
  if (DeleteFileA(path.c_str())) return;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

// A folder of its own under %TEMP%, so that nothing anyone put there beforehand lies beside
// the copy.
std::string freshTempFolder() {
  char temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof temp, temp);
  if (length == 0 || length > MAX_PATH) return std::string();
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    char name[64];
    wsprintfA(name, "SunsetRemoval%08lX%02u", static_cast<unsigned long>(GetTickCount() ^ GetCurrentProcessId()),
              attempt);
    const std::string folder = std::string(temp) + name;
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder;
  }
  return std::string();
}

// Starts the copy that removes `self` once this process has ended.
bool startRemoval(const std::string& self) {
  const std::string folder = freshTempFolder();
  if (folder.empty()) return false;
  const std::string copy = folder + "\\" + pq::extractFileName(self);
  if (!CopyFileA(self.c_str(), copy.c_str(), TRUE)) return false;

  HANDLE waitable = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &waitable, SYNCHRONIZE, TRUE,
                       0)) {
    return false;
  }
  char handleText[32];
  wsprintfA(handleText, "%lu", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(waitable)));
  std::string commandLine = "\"" + copy + "\" /u:" + handleText + " \"" + self + "\"";

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(copy.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      folder.c_str(), &startup, &process);
  CloseHandle(waitable);
  if (!started) return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool readWholeFile(const std::string& path, std::string* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char buffer[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0) bytes->append(buffer, got);
  CloseHandle(file);
  return ok;
}

int removeSaver(bool rightsAsked) {
  const std::string self = modulePath();
  const std::string name = pq::extractFileName(pq::changeFileExt(self, ""));
  if (self.empty() || name.empty()) return 1;
  if (!rightsAsked && !isElevated()) {
    // The entry lives under HKEY_LOCAL_MACHINE and the saver in the Windows directory.
    SHELLEXECUTEINFOA execute{};
    execute.cbSize = sizeof execute;
    execute.lpVerb = "runas";
    execute.lpFile = self.c_str();
    execute.lpParameters = "/u:e";
    execute.nShow = SW_SHOWNORMAL;
    return ShellExecuteExA(&execute) ? 0 : 1;
  }
  deactivateIfCurrent(self);
  deleteOwnUninstallEntry(self, name);
  deleteFileAnyway(pq::changeFileExt(self, ".ssd"));
  return startRemoval(self) ? 0 : 1;
}

// The copy's part: `arguments` is what follows "/u:", the handle and the quoted path.
int removeExitedSaver(const char* arguments) {
  char* rest = nullptr;
  const unsigned long handleValue = std::strtoul(arguments, &rest, 10);
  while (*rest == ' ') ++rest;
  if (handleValue == 0 || *rest != '"') return 1;
  const char* end = std::strchr(rest + 1, '"');
  if (end == nullptr) return 1;
  const std::string target(rest + 1, static_cast<size_t>(end - rest - 1));

  HANDLE saverProcess = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(handleValue));
  const DWORD waited = WaitForSingleObject(saverProcess, kExitWaitMs);
  CloseHandle(saverProcess);
  if (waited != WAIT_OBJECT_0) return 1;

  const std::string self = modulePath();
  std::string ownBytes;
  std::string targetBytes;
  const bool isSaver = lstrcmpiA(target.c_str() + (target.size() >= 4 ? target.size() - 4 : 0), ".scr") == 0;
  if (isSaver && readWholeFile(self, &ownBytes) && readWholeFile(target, &targetBytes) && ownBytes == targetBytes) {
    // The system may hold the image a moment after the process has ended.
    for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
      deleteFileAnyway(target);
      if (GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES) break;
      Sleep(kDeleteRetryMs);
    }
  }
  // This copy and its folder go at the next restart; they hold nothing of the user's.
  MoveFileExA(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  const size_t slash = self.find_last_of('\\');
  if (slash != std::string::npos) MoveFileExA(self.substr(0, slash).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return 0;
}

} // namespace

int runUninstallSwitch(const char* commandLine) {
  const char* at = commandLine;
  while (*at != '\0' && *at != '/' && *at != '-') ++at;
  if (*at == '\0' || (at[1] != 'u' && at[1] != 'U')) return 1;
  const char* option = at + 2;
  if (*option != ':') return removeSaver(false);
  if ((option[1] == 'e' || option[1] == 'E') && (option[2] == '\0' || option[2] == ' ')) return removeSaver(true);
  return removeExitedSaver(option + 1);
}
