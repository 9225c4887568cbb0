// The fixture that starts TForm1 on the simulated Windows with an installer of
// test_installer.h, and records what the window tells its renderer.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "compression/compressor.h"
#include "errors/messages.h"
#include "installer/action_lock.h"
#include "installer/fInstall.h"
#include "platform/sim/sim_os.h"
#include "sim_test.h"
#include "test_installer.h"

namespace pqtest {

// Records what the form tells its renderer.
class RecordingView : public FormView {
public:
  void controlChanged(const TForm1&, ControlId id) override { changes.push_back(id); }
  void repaintNow(const TForm1& form, ControlId id) override {
    if (id == ControlId::statusLabel) repaintedStatusTexts.push_back(form.statusLabel.caption);
  }
  void closeWindow(const TForm1&) override { ++closeCount; }

  std::vector<ControlId> changes;
  std::vector<std::string> repaintedStatusTexts;
  int closeCount = 0;
};

inline const char* const kInstallerPath = "C:\\Setup\\Setup.exe";
inline const char* const kTempCopyPath = "C:\\WINDOWS\\KWRXtemp1.dat";
// The saver Sunset.scr once installed, its data file and its uninstall key.
inline const char* const kSaver = "C:\\WINDOWS\\Sunset.scr";
inline const char* const kData = "C:\\WINDOWS\\Sunset.ssd";
inline const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sunset";
inline const std::string kActionLockPath = std::string("C:\\WINDOWS\\") + kActionLockFileName;

class InstallerTest : public SimTest<> {
protected:
  InstallerTest() : SimTest("installer"), form(&view) {
    resetRunState();
    resetCompressionState();
  }

  ~InstallerTest() override { resetRunState(); }

  // Puts the installer at kInstallerPath and runs the window's creation handler.
  void start(const std::string& image) {
    sim.putFile(kInstallerPath, image);
    form.FormCreate(nullptr);
  }
  void startScreenSaver() { start(buildInstallerImage(screenSaverEntries())); }
  void startMovie() { start(buildInstallerImage(movieEntries())); }
  // Another installer's action holds the machine-wide lock.
  void holdActionLockElsewhere() {
    sim.putFile(kActionLockPath, "");
    sim.lockFile(kActionLockPath);
  }

  // The installed bytes at a path, or "<missing>".
  std::string installed(const std::string& path) const {
    const auto contents = sim.fileContents(path);
    return contents ? *contents : std::string("<missing>");
  }

  RecordingView view;
  TForm1 form;
};

} // namespace pqtest
