// The installer's main window TForm1 and the run state it works from.
//
// TForm1 is portable: it owns the window's state (captions, visibility, enabled flags,
// the progress bar) and its handlers. A FormView renders it: the Win32 backend with real
// controls, tests with nothing at all or with a recorder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/entry_rules.h"
#include "errors/result_codes.h"
#include "platform/os.h"

class TForm1;

// Texts of the window that tests and the renderer share.
extern const char* const kMakerHost;           // the maker's web host
extern const char* const kProductPageUrl;      // "http://" + host + path + "?s=KWRX_104"
extern const char* const kQuickTimeVendorHost; // the QuickTime vendor's web host

// ---- Run state (module level, for the whole run) ------------------------------------------
extern std::string pathInstaller;
extern std::string pathInstallerDir;
extern std::string pathWindows;
extern std::string pathSYS;
extern std::string pathTempFile;
extern std::string pathUninstall;
extern TInstallerDirectory installerDirectory;
extern uint8_t& isScreenSaver;  // installerDirectory.isScreenSaver
extern uint8_t& completionKind; // installerDirectory.completionKind
extern uint8_t isBusy;
extern pq::AppCursor savedCursor;
extern pq::AppCursor savedLinkCursor;
// 1 while the pointer is over the link (between its enter and its leave).
extern uint8_t isOverLink;
// The destinations the current install action cleared for its own files: whatever stands at
// one of them now is this action's doing, so only these may go again in its rollback.
extern std::vector<std::string> claimedDestinations;

// Empties the run state as it is before start-up (for tests; the program starts empty).
void resetRunState();

// Entry i's name as an ordinary string.
std::string entryNameAt(int index);
// The name of the file entry i is created as (pq::createdFileName): where it is installed
// and where uninstalling and the rollback look for it.
std::string installedNameAt(int index);
// Where the saver lands: pathWindows + entry 2's name as the file is created.
std::string saverPathFromDirectory();

// Start-up: the installer's paths (pathInstaller through `installerPath`, pathInstallerDir,
// pathWindows, pathTempFile, pathSYS), then the temporary copy and its directory table; the
// copy's life from its name to its removal is temporary_copy.h's. openInstallerArchive returns
// 0, -31 when the table cannot be read whole (or names an entry unsafely), a removal code, or a
// system error number; it has shown the failure. On success `heldCopy` holds the copy open for
// the rest of the run.
void initInstallerPaths(std::string& installerPath);
TResult openInstallerArchive(const std::string& installerPath, std::unique_ptr<pq::OsFile>* heldCopy);

// ---- Window controls ----------------------------------------------------------------------
enum class ControlId {
  Form, Panel1, Panel2, labStatus, butInstall, Remove, Done, Bevel1, statusLabel,
  madeWithLabel, progressBar
};

struct TControl {
  ControlId id;
  std::string caption;
  int left, top, width, height;
  bool visible = true;
  bool enabled = true;
};

struct TLabelFont {
  pq::SystemColor color = pq::SystemColor::WindowText;
};

struct TProgressBar {
  TControl control;
  int min = 0;
  int max = 100;
  int position = 0;
  int step = 10;
};

// Renders the form. Every change of a control's state is announced; `repaintNow` asks for
// an immediate repaint without the message loop; `closeWindow` destroys the window.
class FormView {
public:
  virtual ~FormView() = default;
  virtual void controlChanged(const TForm1& form, ControlId id) = 0;
  virtual void repaintNow(const TForm1& form, ControlId id) = 0;
  virtual void closeWindow(const TForm1& form) = 0;
};

enum class TCloseAction { None, Hide, Free, Minimize };

class TForm1 {
public:
  explicit TForm1(FormView* view = nullptr);

  // The controls with their design places and captions (form_controls.cpp). Their tab order
  // is the renderer's creation order, not this one.
  TControl Panel1, Panel2, labStatus, butInstall, Remove, Done, Bevel1, statusLabel, madeWithLabel;
  TProgressBar progressBar;
  TLabelFont madeWithLabelFont;
  TControl form; // the window itself: caption and client size

  // The handlers the window's events call, and the progress and status steps the actions
  // share.
  void butInstallClick(void* sender);
  void FormCreate(void* sender);
  void FormClose(void* sender, TCloseAction& action);
  void butUnInstallClick(void* sender);
  void butDoneClick(void* sender);
  void madeWithLabelClick(void* sender);
  void madeWithLabelMouseEnter(void* sender);
  void madeWithLabelMouseLeave(void* sender);
  void initInstallerProgressBarInfo();
  void setFinalInstallerProgressBarInfo(TResult code);
  void updateStatusBar(const std::string& text, bool step);

  // The install and uninstall actions and extraction.
  TResult doInstallSaver();
  TResult installMovieFromInstaller();
  void showCompletionPrompt(uint8_t kind);
  TResult installFiles(const std::string& path);
  TResult extractFile(pq::OsFile& source, int index);
  void pauseBriefly();

  // Closes the window as Done and the close box do: runs FormClose, then the view closes.
  // Asked during an action, the close waits for the action's end.
  void Close();
  bool closed() const { return isClosed; }

  // Control state changes, announced to the view.
  void setCaption(TControl& control, const std::string& caption);
  void setVisible(TControl& control, bool visible);
  void setEnabled(TControl& control, bool enabled);
  void setProgressPosition(int position);
  void setProgressMax(int max);
  void stepProgress();
  void setLinkColor(pq::SystemColor color);

  void setView(FormView* newView) { view = newView; }

private:
  void changed(const TControl& control);

  // The end of an action: a close asked for meanwhile happens now.
  void closeIfAsked();

  FormView* view;
  bool isClosed = false;
  bool closeRequested = false;
  // The temporary copy, open from start-up to close.
  std::unique_ptr<pq::OsFile> heldCopy;
};

// The wait-cursor helpers shared by the actions.
void setCursorToWaitCursor();
void resetCursor();

// The detail text of a successful movie installation: where the movie now is.
std::string movieInstalledText();
