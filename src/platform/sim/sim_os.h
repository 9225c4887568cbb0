// A small simulated Windows behind the OS seam, rooted in a host folder, so that every path
// of the installer, success or failure, runs on Linux without Wine.
//
// C:\ maps to the root folder; C:\WINDOWS\ and C:\WINDOWS\SYSTEM32\ exist from the start.
// Paths are compared case-blind, as Windows does, and files keep the case they were created
// with. On top of the files it keeps what a test needs to arrange or observe: locked and
// read-only files, 8.3 short names, profile files, the registry, the screen-saver switch,
// other programs' top-level windows, started commands, dialogs with scripted answers, the
// application cursor, and failure injection for every call of the seam.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/os.h"

namespace pq {

class SimOs : public Os {
public:
  // `root` is created if missing. The Windows directory is reported as "C:\WINDOWS" and the
  // System directory as "C:\WINDOWS\SYSTEM32", both without a trailing backslash.
  explicit SimOs(std::filesystem::path root);
  ~SimOs() override;

  // ---- Arranging the machine -------------------------------------------------------------
  void setWindowsDirectoryReported(const std::string& text);
  void setSystemDirectoryReported(const std::string& text);
  void setExecutablePath(const std::string& path);
  // The host file behind a Windows path (case-blind lookup of existing components; missing
  // components keep the case given). Only "C:\..." paths map; others map to nothing.
  std::optional<std::filesystem::path> hostPath(const std::string& windowsPath) const;
  void putFile(const std::string& windowsPath, const std::string& bytes); // creates folders
  std::optional<std::string> fileContents(const std::string& windowsPath) const;
  bool fileExistsAt(const std::string& windowsPath) const;      // a file, not a folder
  bool directoryExistsAt(const std::string& windowsPath) const;
  void makeDirectory(const std::string& windowsPath);
  // A locked file cannot be deleted, opened or replaced (error 32) until unlocked. With
  // `releaseAfterFailedDeletes` > 0 it unlocks itself after that many failed deletions.
  void lockFile(const std::string& windowsPath, int releaseAfterFailedDeletes = 0);
  void unlockFile(const std::string& windowsPath);
  // A read-only file refuses deletion (error 5) until its attributes are reset.
  void setReadOnly(const std::string& windowsPath, bool readOnly);
  bool isReadOnly(const std::string& windowsPath) const;
  // Whether a handle this program opened holds the file now.
  bool fileOpenHere(const std::string& windowsPath) const;
  // The machine restarts: everything there now was made before its last start.
  void restart();
  // Every file below the root as "C:\..." paths with their contents, for before/after checks.
  std::map<std::string, std::string> snapshot() const;

  // ---- Profile files (INI semantics, in the Windows directory) ---------------------------
  std::optional<std::string> profileValue(const std::string& fileName, const std::string& section,
                                          const std::string& key) const;

  // ---- Screen saver switch -----------------------------------------------------------------
  bool screenSaveActive() const { return screenSaveActiveState; }
  void setScreenSaveActiveState(bool active) { screenSaveActiveState = active; }
  // When set, SystemParametersInfo(SPI_SETSCREENSAVEACTIVE) reports failure.
  void refuseScreenSaveActive(bool refuse) { refuseScreenSave = refuse; }
  struct SpiCall { bool active; uint32_t flags; };
  std::vector<SpiCall> spiCalls;

  // ---- Registry (HKEY_LOCAL_MACHINE) -------------------------------------------------------
  bool registryKeyExists(const std::string& path) const;
  std::optional<std::string> registryValue(const std::string& path, const std::string& name) const;
  // Creates the key (and its parents) and sets a REG_SZ value.
  void putRegistryValue(const std::string& path, const std::string& name, const std::string& value);
  void putRegistryKey(const std::string& path);
  std::vector<std::string> registrySubkeys(const std::string& path) const;

  // ---- Other programs' windows and commands ------------------------------------------------
  // A top-level window with a title; clicking its item 2 (Cancel) closes it when
  // `closesOnCancel` is set. Returns its handle.
  WindowHandle addTopLevelWindow(const std::string& title, bool closesOnCancel = true);
  bool windowIsOpen(WindowHandle window) const;
  struct Click { WindowHandle window; int itemId; };
  std::vector<Click> clicks;
  int findWindowCount = 0;
  struct Command { std::string commandLine; int showMode; };
  std::vector<Command> winExecCalls;
  // ShellExecute, and with `asUser` the desktop shell's (failCall takes that shell away).
  struct ShellCall { std::string verb, file; int showMode; bool asUser = false; };
  std::vector<ShellCall> shellExecuteCalls;
  // Called after WinExec is recorded, e.g. to open a "Display Properties" window.
  std::function<void(const std::string& commandLine)> onWinExec;

  // ---- The end of the session ---------------------------------------------------------------
  // The answer the program gives WM_QUERYENDSESSION now, and the reason the system shows.
  bool sessionMayEnd() const { return !shutdownBlocked; }
  const std::string& shutdownReason() const { return shutdownReasonText; }

  // ---- Libraries -----------------------------------------------------------------------------
  // loadLibrary of an existing file resolves to the in-process codec (_implode, _explode,
  // _crc32). These make every later load fail with `error`, or lack one export.
  void failLibraryLoads(uint32_t error) { libraryLoadError = error; }
  void omitLibraryExport(const std::string& name) { omittedExports.insert(name); }
  int libraryLoads = 0;
  int libraryFrees = 0;

  // ---- Dialogs, cursor, messages -------------------------------------------------------------
  std::vector<std::string> errorDialogs;
  struct MessageBoxCall { std::string text, caption; };
  std::vector<MessageBoxCall> messageBoxes;
  // Answers for the next Yes/No boxes, in order; No when the queue is empty.
  std::deque<bool> messageBoxAnswers;
  std::function<void(const std::string& text)> onErrorDialog;
  // Called on each processMessages(): a test can click buttons "during" an action here.
  std::function<void()> onProcessMessages;
  int processMessagesCount = 0;
  bool minimized = false;
  std::vector<AppCursor> cursorHistory;

  // ---- Failure injection and the call log --------------------------------------------------
  // Makes calls of the seam named `call` (the Os / OsFile / OsRegistryKey method name, e.g.
  // "deleteFile", "copyFile", "openFile", "read", "write", "close", "regCreateKey",
  // "setString", "loadLibrary", "setScreenSaveActive", "writePrivateProfileString") fail with
  // `error`. Only calls whose path argument contains `pathContains` (case-blind; empty = any)
  // count; the first `skip` matching calls succeed, then `times` calls fail (-1 = all).
  // For "write" a failure writes nothing; for "read" it reads nothing.
  void failCall(const std::string& call, uint32_t error, const std::string& pathContains = "",
                int skip = 0, int times = 1);
  void clearFailures();
  // "name argument" for every seam call made, in order ("name" alone when it takes none).
  // lastError() and appCursor() are not logged: they only read state back.
  std::vector<std::string> callLog;
  // Called with each line as it is logged, before the call does anything.
  std::function<void(const std::string& line)> onCall;

  // ---- The Os interface ----------------------------------------------------------------------
  std::string windowsDirectory(uint32_t bufferChars) override;
  std::string systemDirectory(uint32_t bufferChars) override;
  std::string executablePath() override;
  bool findFirstFile(const std::string& path, FoundFile* found) override;
  bool findFiles(const std::string& pattern, std::vector<FoundFile>* found) override;
  bool copyFile(const std::string& existing, const std::string& newFile, bool failIfExists) override;
  bool deleteFile(const std::string& path) override;
  bool setFileAttributes(const std::string& path, uint32_t attributes) override;
  bool moveFileEx(const std::string& existing, const std::string& newName, uint32_t flags) override;
  std::unique_ptr<OsFile> openFile(const std::string& path, FileAccess access, FileShare share,
                                   FileCreation creation) override;
  std::unique_ptr<OsFile> openLockFile(const std::string& path) override;
  std::string shortPathName(const std::string& path, uint32_t bufferChars) override;
  uint32_t lastError() override;
  bool writePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                                 const std::string& fileName) override;
  std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue, uint32_t bufferChars,
                                      const std::string& fileName) override;
  bool setScreenSaveActive(bool active, uint32_t flags) override;
  int32_t regCreateKey(const std::string& path, std::unique_ptr<OsRegistryKey>* key) override;
  int32_t regOpenKey(const std::string& path, std::unique_ptr<OsRegistryKey>* key) override;
  int32_t regDeleteKey(const std::string& path) override;
  WindowHandle findWindow(const std::string& title) override;
  void clickDialogItem(WindowHandle window, int itemId) override;
  uint32_t winExec(const std::string& commandLine, int showMode) override;
  uintptr_t shellExecute(const std::string& verb, const std::string& file, int showMode) override;
  bool shellExecuteAsUser(const std::string& file, int showMode) override;
  uint64_t systemTimeAsFileTime() override;
  uint64_t tickCount64() override;
  bool blockShutdown(const std::string& reason) override;
  bool allowShutdown() override;
  std::unique_ptr<OsLibrary> loadLibrary(const std::string& path) override;
  std::string systemMessage(uint32_t code, uint32_t bufferChars) override;
  void showErrorDialog(const std::string& text) override;
  bool messageBoxYesNo(const std::string& text, const std::string& caption) override;
  AppCursor appCursor() override;
  void setAppCursor(AppCursor cursor) override;
  void processMessages() override;
  void minimizeApplication() override;

  // Used by the sim's own file and key objects.
  struct State;
  State& state() { return *internal; }
  bool injectedFailure(const std::string& call, const std::string& argument, uint32_t* error);
  // The one entry point of every seam call: logs "call argument" and, when an injected
  // failure applies, sets the last error and returns that error number.
  std::optional<uint32_t> enterCall(const std::string& call, const std::string& argument);
  void setLastError(uint32_t error) { lastErrorValue = error; }
  // Sets the last error and returns false, as a failing API call of the simulation does.
  bool failWith(uint32_t error) {
    setLastError(error);
    return false;
  }
  void logCall(const std::string& call, const std::string& argument);

private:
  std::filesystem::path rootFolder;
  std::string windowsReported = "C:\\WINDOWS";
  std::string systemReported = "C:\\WINDOWS\\SYSTEM32";
  std::string exePath = "C:\\Setup\\Setup.exe";
  uint32_t lastErrorValue = 0;
  bool screenSaveActiveState = false;
  bool refuseScreenSave = false;
  uint32_t libraryLoadError = 0;
  std::set<std::string> omittedExports;
  AppCursor cursor = AppCursor::Default;
  bool shutdownBlocked = false;
  std::string shutdownReasonText;
  State* internal;
};

// Installs a SimOs as the backend for the lifetime of a scope (tests).
class ScopedSimOs {
public:
  explicit ScopedSimOs(SimOs& sim) : previous(setOs(&sim)) {}
  ~ScopedSimOs() { setOs(previous); }
  ScopedSimOs(const ScopedSimOs&) = delete;
  ScopedSimOs& operator=(const ScopedSimOs&) = delete;

private:
  Os* previous;
};

} // namespace pq
