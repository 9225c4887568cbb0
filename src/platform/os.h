// The OS seam: every platform service the installer uses, behind one interface.
//
// Portable code never includes <windows.h> and never sees a HANDLE or DWORD. It calls
// `os()` and gets whichever backend the program installed at start: the Win32 backend
// (a literal mapping onto the real API) or the simulated Windows used by host tests.
//
// Conventions shared by both backends:
//  - Paths are ANSI strings with backslashes, exactly as the Win32 "A" functions take them.
//  - A call that fails the way a Win32 call fails reports false / null / empty, and the
//    error number is then available from lastError(), as GetLastError() would give it.
//    Registry calls return their error number directly, as the Reg* functions do.
//  - Handles are owned objects: dropping one closes it, so nothing leaks on a failure path.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pq {

// Win32 error numbers the portable code and the tests talk about.
constexpr uint32_t kWinErrorSuccess = 0;
constexpr uint32_t kWinErrorFileNotFound = 2;
constexpr uint32_t kWinErrorPathNotFound = 3;
constexpr uint32_t kWinErrorAccessDenied = 5;
constexpr uint32_t kWinErrorInvalidHandle = 6;
constexpr uint32_t kWinErrorNotEnoughMemory = 8;
constexpr uint32_t kWinErrorWriteFault = 29;
constexpr uint32_t kWinErrorSharingViolation = 32;
constexpr uint32_t kWinErrorHandleEof = 38;
constexpr uint32_t kWinErrorFileExists = 80;
constexpr uint32_t kWinErrorDiskFull = 112;
constexpr uint32_t kWinErrorInvalidName = 123;
constexpr uint32_t kWinErrorModNotFound = 126;
constexpr uint32_t kWinErrorProcNotFound = 127;
constexpr uint32_t kWinErrorNegativeSeek = 131;
constexpr uint32_t kWinErrorAlreadyExists = 183;
constexpr uint32_t kWinErrorBadExeFormat = 193;
constexpr uint32_t kWinErrorNoMoreItems = 259;
constexpr uint32_t kWinErrorKeyDeleted = 1018;

// File attribute bits, as FindFirstFile reports them.
constexpr uint32_t kFileAttributeReadOnly = 0x01;
constexpr uint32_t kFileAttributeHidden = 0x02;
constexpr uint32_t kFileAttributeSystem = 0x04;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeArchive = 0x20;
constexpr uint32_t kFileAttributeNormal = 0x80;

// MoveFileExA flags: replace a file already at the new name; return only once the move is on
// the disk.
constexpr uint32_t kMoveFileReplaceExisting = 0x1;
constexpr uint32_t kMoveFileWriteThrough = 0x8;

// ShowWindow modes used by the installer.
constexpr int kShowNormal = 1;

// The buffer, in characters, the installer asks for the Windows and System directories with.
constexpr uint32_t kDirectoryBufferChars = 301;

// One entry that FindFirstFileA or FindNextFileA found.
struct FoundFile {
  std::string name;        // the long name of the entry found
  uint32_t attributes = 0; // FILE_ATTRIBUTE_* bits
  uint64_t size = 0;       // nFileSizeHigh:nFileSizeLow
  // ftCreationTime and ftLastWriteTime: 100-nanosecond intervals since 1601-01-01 (UTC), as
  // GetSystemTimeAsFileTime counts.
  uint64_t creationTime = 0;
  uint64_t lastWriteTime = 0;
};

enum class FileAccess { Read, Write, ReadWrite };
enum class FileShare { None, Read, ReadWrite };
enum class FileCreation {
  OpenExisting, // OPEN_EXISTING
  CreateAlways, // CREATE_ALWAYS: create, or truncate an existing file
  CreateNew     // CREATE_NEW: create a file that does not exist yet; error 80 when one does
};

// An open file (CreateFileA). Destroying it closes the handle.
class OsFile {
public:
  virtual ~OsFile() = default;
  // ReadFile: true on success; *bytesRead may be short at the end of the file.
  virtual bool read(void* buffer, uint32_t size, uint32_t* bytesRead) = 0;
  // WriteFile: true on success; *bytesWritten may be short (a full disk).
  virtual bool write(const void* buffer, uint32_t size, uint32_t* bytesWritten) = 0;
  // SetFilePointer from the start of the file.
  virtual bool seek(int64_t offsetFromStart) = 0;
  // GetFileSize.
  virtual bool size(uint64_t* size) = 0;
  // FlushFileBuffers: what was written is on the disk when it returns true.
  virtual bool flush() = 0;
  // CloseHandle, reported. After it the object is inert; the destructor does nothing more.
  virtual bool close() = 0;
};

// A loaded library (LoadLibraryA). Destroying it calls FreeLibrary.
class OsLibrary {
public:
  virtual ~OsLibrary() = default;
  // GetProcAddress; null when the library has no such export.
  virtual void* symbol(const char* name) = 0;
};

// An open registry key under HKEY_LOCAL_MACHINE. Destroying it calls RegCloseKey.
class OsRegistryKey {
public:
  virtual ~OsRegistryKey() = default;
  // RegSetValueExA with REG_SZ; the stored data counts the terminating NUL. Returns the error.
  virtual int32_t setString(const std::string& valueName, const std::string& value) = 0;
  // RegQueryValueExA for a REG_SZ value; returns the error (2 when absent).
  virtual int32_t getString(const std::string& valueName, std::string* value) = 0;
  // RegDeleteValueA; returns the error (2 when absent).
  virtual int32_t deleteValue(const std::string& valueName) = 0;
  // RegQueryInfoKeyA: the number of subkeys.
  virtual int32_t subkeyCount(uint32_t* count) = 0;
  // RegEnumKeyExA: the name of subkey `index`; 259 (no more items) past the end.
  virtual int32_t enumerateSubkey(uint32_t index, std::string* name) = 0;
  // RegCloseKey, reported. After it the object is inert.
  virtual int32_t close() = 0;
};

// The application-wide cursor: any but Default shows over every control of the program,
// whatever the control's own cursor.
enum class AppCursor { Default, Wait, HandPoint };

// A window colour of the system palette.
enum class SystemColor { WindowText, Highlight, ButtonFace };

// An opaque top-level window handle; 0 means none.
using WindowHandle = uintptr_t;

class Os {
public:
  virtual ~Os() = default;

  // --- Directories and the program itself ---------------------------------------------
  // GetWindowsDirectoryA / GetSystemDirectoryA with a buffer of `bufferChars` characters,
  // as reported (the caller adds a trailing backslash when it lacks one). Empty on failure.
  virtual std::string windowsDirectory(uint32_t bufferChars) = 0;
  virtual std::string systemDirectory(uint32_t bufferChars) = 0;
  // The application's executable path (GetModuleFileNameA of the program).
  virtual std::string executablePath() = 0;

  // --- Files ----------------------------------------------------------------------------
  // FindFirstFileA + FindClose on a plain path: true and *found filled when an entry of any
  // kind (file or directory) exists there. The caller decides whether a directory counts.
  virtual bool findFirstFile(const std::string& path, FoundFile* found) = 0;
  // FindFirstFileA, FindNextFileA and FindClose over a pattern whose last component holds the
  // wildcards '*' and '?': every entry found, files and directories, matched case-blind (Windows
  // also matches 8.3 aliases, so callers check the names they get). False when nothing matches
  // (error 2) or the folder cannot be searched.
  virtual bool findFiles(const std::string& pattern, std::vector<FoundFile>* found) = 0;
  virtual bool copyFile(const std::string& existing, const std::string& newFile, bool failIfExists) = 0;
  virtual bool deleteFile(const std::string& path) = 0;
  virtual bool setFileAttributes(const std::string& path, uint32_t attributes) = 0;
  // MoveFileExA(existing, newName, flags). Within one folder it renames in one step: whoever
  // looks finds the old file at newName or the moved one, never a part of it.
  virtual bool moveFileEx(const std::string& existing, const std::string& newName, uint32_t flags) = 0;
  // CreateFileA; null on failure (see lastError()).
  virtual std::unique_ptr<OsFile> openFile(const std::string& path, FileAccess access, FileShare share,
                                           FileCreation creation) = 0;
  // GetShortPathNameA with a buffer of `bufferChars`; empty when the path does not exist or
  // the short form does not fit.
  virtual std::string shortPathName(const std::string& path, uint32_t bufferChars) = 0;
  // GetLastError() of the most recent failing call on this thread.
  virtual uint32_t lastError() = 0;

  // --- Profile files ("system.ini" without a directory lands in the Windows directory) ----
  virtual bool writePrivateProfileString(const std::string& section, const std::string& key,
                                         const std::string& value, const std::string& fileName) = 0;
  // GetPrivateProfileStringA, cut to bufferChars - 1 characters as the API does.
  virtual std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                              const std::string& defaultValue, uint32_t bufferChars,
                                              const std::string& fileName) = 0;

  // --- Screen saver switch ----------------------------------------------------------------
  // SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, active, nullptr, flags); false on refusal.
  virtual bool setScreenSaveActive(bool active, uint32_t flags) = 0;

  // --- Registry under HKEY_LOCAL_MACHINE (KEY_ALL_ACCESS) ---------------------------------
  // RegCreateKeyExA; returns the error, *key set on success.
  virtual int32_t regCreateKey(const std::string& path, std::unique_ptr<OsRegistryKey>* key) = 0;
  // RegOpenKeyExA; returns the error (2 when the key is absent).
  virtual int32_t regOpenKey(const std::string& path, std::unique_ptr<OsRegistryKey>* key) = 0;
  // RegDeleteKeyA(HKEY_LOCAL_MACHINE, path): fails while the key has subkeys.
  virtual int32_t regDeleteKey(const std::string& path) = 0;

  // --- Other programs' windows and processes --------------------------------------------
  // FindWindowA(nullptr, title).
  virtual WindowHandle findWindow(const std::string& title) = 0;
  // SendDlgItemMessageA(window, itemId, BM_CLICK, 0, 0), synchronous.
  virtual void clickDialogItem(WindowHandle window, int itemId) = 0;
  // WinExec; returns its value (greater than 31 on success).
  virtual uint32_t winExec(const std::string& commandLine, int showMode) = 0;
  // ShellExecuteA(nullptr, verb or nullptr when empty, file, nullptr, nullptr, showMode).
  virtual uintptr_t shellExecute(const std::string& verb, const std::string& file, int showMode) = 0;
  // The desktop shell's own ShellExecute (IShellDispatch2::ShellExecute of the desktop that
  // IShellWindows::FindWindowSW finds) with the default verb: what opens, opens in the shell's
  // process, as the signed-in user, whatever rights this program has. True once the shell
  // has taken the request, whether or not anything opens; false when there is no shell to ask.
  virtual bool shellExecuteAsUser(const std::string& file, int showMode) = 0;

  // --- Synchronisation between processes ----------------------------------------------
  // CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
  // FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr): opens the file, creating it
  // if needed, shared with no other handle. The system deletes it when the handle closes, also
  // when the program is killed. Null on failure (see lastError()): 32 while another handle
  // has it open, 5 where the caller may not create files.
  virtual std::unique_ptr<OsFile> openLockFile(const std::string& path) = 0;

  // --- Time -----------------------------------------------------------------------------
  // GetSystemTimeAsFileTime: now, in FoundFile's units.
  virtual uint64_t systemTimeAsFileTime() = 0;
  // GetTickCount64: milliseconds since the system started.
  virtual uint64_t tickCount64() = 0;

  // --- The end of the session -----------------------------------------------------------
  // From this call on the program answers WM_QUERYENDSESSION with FALSE, and gives `reason`
  // to ShutdownBlockReasonCreate (looked up at run time) for the system to show the user.
  // False when the reason could not be given; the answer is FALSE either way.
  virtual bool blockShutdown(const std::string& reason) = 0;
  // ShutdownBlockReasonDestroy; WM_QUERYENDSESSION is answered TRUE again either way.
  virtual bool allowShutdown() = 0;

  // --- Libraries ------------------------------------------------------------------------
  // LoadLibraryA; null on failure (see lastError()).
  virtual std::unique_ptr<OsLibrary> loadLibrary(const std::string& path) = 0;

  // --- Messages and dialogs -------------------------------------------------------------
  // FormatMessageA(FROM_SYSTEM | IGNORE_INSERTS) in the user's default language, into a
  // buffer of `bufferChars`; the raw text with its trailing ".\r\n", empty when none.
  virtual std::string systemMessage(uint32_t code, uint32_t bufferChars) = 0;
  // The program's modal error dialog: title "Error", stop icon, one button "&Abort",
  // centred. Returns when the user has closed it.
  virtual void showErrorDialog(const std::string& text) = 0;
  // A system message box with Yes and No and no icon; true for Yes.
  virtual bool messageBoxYesNo(const std::string& text, const std::string& caption) = 0;

  // --- The application ------------------------------------------------------------------
  virtual AppCursor appCursor() = 0;
  virtual void setAppCursor(AppCursor cursor) = 0;
  // Application->ProcessMessages: handle every pending window message, then return.
  virtual void processMessages() = 0;
  // Application->Minimize.
  virtual void minimizeApplication() = 0;
};

// The backend in force. The program installs one at start; tests install the simulation.
Os& os();
// Installs `backend` (not owned) and returns the previous one; null restores none.
Os* setOs(Os* backend);

} // namespace pq
