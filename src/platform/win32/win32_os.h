// The Win32 backend of the OS seam: each call is the Windows API call it is named after,
// with the error number taken right after a failing call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/os.h"
#include "platform/win32/windows_api.h"

namespace pq::win32 {

class Win32Os final : public Os {
public:
  // The program's main window: the owner of its dialogs, what minimising hides. May be null.
  void setMainWindow(HWND window) { mainWindow = window; }
  HWND getMainWindow() const { return mainWindow; }

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
  uint32_t lastError() override { return lastErrorNumber; }

  bool writePrivateProfileString(const std::string& section, const std::string& key,
                                 const std::string& value, const std::string& fileName) override;
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
  // The answer to WM_QUERYENDSESSION: false while an action holds the session.
  bool sessionMayEnd() const { return !shutdownBlocked; }

  std::unique_ptr<OsLibrary> loadLibrary(const std::string& path) override;

  std::string systemMessage(uint32_t code, uint32_t bufferChars) override;
  void showErrorDialog(const std::string& text) override;
  bool messageBoxYesNo(const std::string& text, const std::string& caption) override;

  AppCursor appCursor() override { return cursor; }
  void setAppCursor(AppCursor newCursor) override;
  void processMessages() override;
  void minimizeApplication() override;

  // Records GetLastError() now; called right after a failing call, before anything else can
  // overwrite the thread's error number.
  void takeLastError() { lastErrorNumber = GetLastError(); }

private:
  HWND mainWindow = nullptr;
  AppCursor cursor = AppCursor::Default;
  uint32_t lastErrorNumber = 0;
  bool shutdownBlocked = false;
};

// The system cursor that shows `cursor` (the arrow for Default).
HCURSOR cursorHandle(AppCursor cursor);

// WM_SETCURSOR for every window of the program: while the application-wide cursor is not
// Default it wins over the window's own. True when the message has been handled.
bool applyAppCursor();

} // namespace pq::win32
