#include <gtest/gtest.h>

#include "installer/action_lock.h"
#include "support/installer_fixture.h"

namespace pqtest {
namespace {

class Uninstall : public InstallerTest {
protected:
  // The status line at each of the action's message pauses.
  std::vector<std::string> recordStatusAtPauses() {
    std::vector<std::string> texts;
    sim.onProcessMessages = [this, &texts] { texts.push_back(form.statusLabel.caption); };
    form.butUnInstallClick(nullptr);
    sim.onProcessMessages = nullptr;
    return texts;
  }

  void expectFinalState() {
    EXPECT_EQ(form.statusLabel.caption, "Un-Installation Complete.");
    EXPECT_TRUE(form.statusLabel.visible);
    EXPECT_FALSE(form.labStatus.visible);
    EXPECT_EQ(form.progressBar.position, 0);
    EXPECT_EQ(sim.appCursor(), pq::AppCursor::Default);
    EXPECT_EQ(isBusy, 0);
    EXPECT_TRUE(sim.errorDialogs.empty());
  }
};

TEST_F(Uninstall, AScreenSaverLosesItsFilesAndKeyButKeepsTheLibraries) {
  startScreenSaver();
  form.butInstallClick(nullptr);
  ASSERT_TRUE(sim.registryKeyExists(kUninstallKey));
  const auto profileBefore = sim.profileValue("system.ini", "boot", "SCRNSAVE.EXE");

  const std::vector<std::string> texts = recordStatusAtPauses();
  const std::vector<std::string> expected = {"Deleting impborl.dat", "Deleting Sunset.scr", "Deleting Sunset.ssd",
                                             "Deleting lib1.dat", "Deleting lib2.dat"};
  EXPECT_EQ(texts, expected);
  expectFiles({{"C:\\WINDOWS\\Sunset.scr", false}, {"C:\\WINDOWS\\Sunset.ssd", false},
               {"C:\\WINDOWS\\impborl.dll", true}, {"C:\\WINDOWS\\lib1.dll", true}, {"C:\\WINDOWS\\lib2.dll", true}});
  EXPECT_FALSE(sim.registryKeyExists(kUninstallKey));
  EXPECT_FALSE(sim.screenSaveActive());
  EXPECT_EQ(sim.profileValue("system.ini", "boot", "SCRNSAVE.EXE"), profileBefore);
  expectFinalState();
}

TEST_F(Uninstall, AMovieLosesOnlyItsMainFile) {
  startMovie();
  form.butInstallClick(nullptr);
  form.butUnInstallClick(nullptr);
  expectFiles({{"C:\\Setup\\Show.exe", false}, {"C:\\Setup\\Show.ssd", true}, {"C:\\WINDOWS\\impborl.dll", true},
               {"C:\\Setup\\Setup.exe", true}});
  EXPECT_TRUE(sim.spiCalls.empty());
  expectFinalState();
}

TEST_F(Uninstall, TheExtensionTestIgnoresLetterCaseAndTrailingBlanks) {
  std::vector<ImageEntry> entries = screenSaverEntries();
  entries[2].name = "Picture.SSD";
  entries[3].name = "Notes.DAT";
  start(buildInstallerImage(entries));
  for (const char* name : {"Picture.SSD", "Notes.DAT", "impborl.dat"}) {
    sim.putFile(std::string("C:\\WINDOWS\\") + name, "installed");
  }
  form.butUnInstallClick(nullptr);
  expectFiles({{"C:\\WINDOWS\\Picture.SSD", false}, {"C:\\WINDOWS\\Notes.DAT", true},
               {"C:\\WINDOWS\\impborl.dat", true}});
  expectFinalState();
}

TEST_F(Uninstall, ABusySaverStaysSilently) {
  startScreenSaver();
  sim.putFile("C:\\WINDOWS\\Sunset.scr", "installed");
  sim.putFile("C:\\WINDOWS\\Sunset.ssd", "installed");
  sim.lockFile("C:\\WINDOWS\\Sunset.scr");
  form.butUnInstallClick(nullptr);
  EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\Sunset.scr"));
  EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\Sunset.ssd"));
  expectFinalState();
}

TEST_F(Uninstall, NothingInstalledStillEndsComplete) {
  startScreenSaver();
  const auto before = sim.snapshot();
  form.butUnInstallClick(nullptr);
  EXPECT_EQ(sim.snapshot(), before);
  expectFinalState();
}

TEST_F(Uninstall, AnOpenDisplayPropertiesWindowIsClosedFirst) {
  startScreenSaver();
  sim.addTopLevelWindow("Display Properties");
  form.butUnInstallClick(nullptr);
  EXPECT_EQ(sim.clicks.size(), 1u);
}

TEST_F(Uninstall, ASecondClickAtAMessagePauseDoesNothing) {
  startScreenSaver();
  EXPECT_EQ(pausesClickingBothButtons(&TForm1::butUnInstallClick), 5);
  EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\impborl.dll"));
  expectFinalState();
}

TEST_F(Uninstall, AnotherInstallersActionMakesTheUninstallationChangeNothing) {
  startScreenSaver();
  form.butInstallClick(nullptr);
  holdActionLockElsewhere();
  const auto filesBefore = sim.snapshot();
  form.butUnInstallClick(nullptr);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(kErr_ActionRunning, "")});
  EXPECT_EQ(sim.snapshot(), filesBefore);
  EXPECT_TRUE(sim.registryKeyExists(kUninstallKey));
  EXPECT_TRUE(sim.screenSaveActive());
  EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
}

// Done during the uninstallation: every entry is still handled, then the window closes.
TEST_F(Uninstall, ACloseDuringTheUninstallationWaitsForItsEnd) {
  startScreenSaver();
  form.butInstallClick(nullptr);
  int pausesAfterTheWindowClosed = 0;
  sim.onProcessMessages = [&] {
    if (form.closed()) ++pausesAfterTheWindowClosed;
    form.Close();
  };
  form.butUnInstallClick(nullptr);
  EXPECT_EQ(pausesAfterTheWindowClosed, 0);
  EXPECT_TRUE(form.closed());
  EXPECT_EQ(view.closeCount, 1);
  EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\Sunset.scr"));
  EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\Sunset.ssd"));
  EXPECT_FALSE(sim.registryKeyExists(kUninstallKey));
  EXPECT_FALSE(sim.fileExistsAt(kTempCopyPath));
  EXPECT_FALSE(sim.fileExistsAt(kActionLockPath));
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(Uninstall, TheButtonOfAnUnusableArchiveDoesNothing) {
  std::string stub(DIRECTORY_OFFSET, '\0');
  start(stub);
  sim.errorDialogs.clear();
  form.butUnInstallClick(nullptr);
  EXPECT_EQ(form.statusLabel.caption, "");
  EXPECT_EQ(sim.processMessagesCount, 0);
}

} // namespace
} // namespace pqtest
