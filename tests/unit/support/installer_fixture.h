// The fixture that starts TForm1 on the simulated Windows with an installer of
// test_installer.h, and records what the window tells its renderer.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
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

inline const std::string kCorruptedInstallerMessage =
    "Installation Error: \r\n\r\nFile C:\\Setup\\Setup.exe may be corrupted. Please get a new copy and try "
    "installation again.";

// Only Done is left, in the window as it was designed: its captions, the link in the window's
// text colour and an empty bar are what the user sees. (The e2e layout tests check where the
// real window draws each control.)
inline void expectUnusable(const TForm1& form) {
  EXPECT_FALSE(form.butInstall.enabled);
  EXPECT_FALSE(form.Remove.enabled);
  EXPECT_TRUE(form.Done.enabled);
  EXPECT_EQ(form.form.caption, "Panoquill Installer");
  EXPECT_EQ(form.butInstall.caption, "&Install");
  EXPECT_EQ(form.Remove.caption, "Un-Install");
  EXPECT_EQ(form.Done.caption, "Done");
  EXPECT_EQ(form.madeWithLabel.caption, "Made with Panoquill Photo && Video - www.panoquill.com");
  EXPECT_EQ(form.madeWithLabelFont.color, pq::SystemColor::WindowText);
  EXPECT_EQ(form.progressBar.min, 0);
  EXPECT_EQ(form.progressBar.max, 100);
  EXPECT_EQ(form.progressBar.position, 0);
  EXPECT_TRUE(form.statusLabel.visible);
  EXPECT_EQ(form.statusLabel.caption, "");
  EXPECT_FALSE(form.labStatus.visible);
  EXPECT_EQ(form.labStatus.caption, "Installer is damaged. Please try again with new copy of the installer.");
  EXPECT_EQ(isScreenSaver, 0);
  EXPECT_EQ(completionKind, 0);
}

inline const char* const kInstallerPath = "C:\\Setup\\Setup.exe";
inline const char* const kTempCopyPath = "C:\\WINDOWS\\KWRXtemp1.dat";
// The saver Sunset.scr once installed, its data file and its uninstall key.
inline const char* const kSaver = "C:\\WINDOWS\\Sunset.scr";
inline const char* const kData = "C:\\WINDOWS\\Sunset.ssd";
inline const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sunset";
inline const std::string kActionLockPath = std::string("C:\\WINDOWS\\") + kActionLockFileName;

// One run of a sweep on a machine of its own: a fresh simulated Windows, installed as the
// backend, with the run state reset and `installer` at kInstallerPath; gone with its folder,
// temp/pq_<name>_<pid>, when the object goes.
class MachineOfItsOwn {
public:
  MachineOfItsOwn(const std::string& name, const std::string& installer)
      : folder{std::filesystem::temp_directory_path() / ("pq_" + name + "_" + std::to_string(::getpid()))},
        sim(folder.path), scope(sim) {
    resetRunState();
    resetCompressionState();
    sim.putFile(kInstallerPath, installer);
  }
  ~MachineOfItsOwn() { resetRunState(); }

  struct RemovedAtTheEnd {
    std::filesystem::path path;
    ~RemovedAtTheEnd() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  } folder;
  pq::SimOs sim;
  pq::ScopedSimOs scope;
};

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

  // Another run on the same machine, one case of a table: the run state emptied, `image` as
  // the installer, and a window of its own started on it, which the case closes at its end.
  std::unique_ptr<TForm1> startAnother(const std::string& image, FormView* otherView = nullptr) {
    resetRunState();
    auto other = std::make_unique<TForm1>(otherView);
    sim.putFile(kInstallerPath, image);
    other->FormCreate(nullptr);
    return other;
  }

  // Runs `action` with both action buttons clicked at each of its message pauses; how many
  // pauses there were.
  int pausesClickingBothButtons(void (TForm1::*action)(void*)) {
    int pauses = 0;
    sim.onProcessMessages = [&] {
      ++pauses;
      form.butInstallClick(nullptr);
      form.butUnInstallClick(nullptr);
    };
    (form.*action)(nullptr);
    sim.onProcessMessages = nullptr;
    return pauses;
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
