#include <gtest/gtest.h>

#include "installer/action_lock.h"
#include "support/installer_fixture.h"
#include "system/uninstall_registration.h"

namespace pqtest {
namespace {

const char* const kPromptText =
    "The screen saver installation was successful.\r\n\r\nWould you like to open the screen saver control panel now?";
const char* const kQuickTimeText =
    "Requires QuickTime. Please download the latest version of QuickTime, available free from www.apple.com, and "
    "try again.";

class InstallSaver : public InstallerTest {
protected:
  // The window after a failed installation: its texts, no prompt, the buttons usable again.
  void expectFailedWindow(const std::string& detail) {
    EXPECT_EQ(form.statusLabel.caption, "Installation Failed.");
    EXPECT_EQ(form.labStatus.caption, detail);
    EXPECT_TRUE(form.labStatus.visible);
    EXPECT_EQ(form.progressBar.position, 0);
    EXPECT_TRUE(sim.messageBoxes.empty());
    EXPECT_TRUE(form.butInstall.enabled && form.Remove.enabled);
    EXPECT_EQ(isBusy, 0);
  }

  // What a failed screen-saver installation that got as far as its data file must leave: no
  // saver, no data file, no key, but the libraries.
  void expectRolledBack(const std::string& detail) {
    expectFailedWindow(detail);
    EXPECT_FALSE(sim.fileExistsAt(kData));
    EXPECT_FALSE(sim.registryKeyExists(kUninstallKey));
    EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\impborl.dll"));
  }
};

TEST_F(InstallSaver, ASuccessfulInstallationActivatesAndRegistersTheSaver) {
  startScreenSaver();
  form.butInstallClick(nullptr);

  EXPECT_EQ(installed(kSaver), screenSaverEntries()[1].contents);
  EXPECT_EQ(sim.profileValue("system.ini", "boot", "SCRNSAVE.EXE"), sim.shortPathName(kSaver, 260));
  EXPECT_TRUE(sim.screenSaveActive());
  ASSERT_FALSE(sim.spiCalls.empty());
  EXPECT_TRUE(sim.spiCalls.back().active);
  EXPECT_EQ(sim.spiCalls.back().flags, 2u);
  EXPECT_EQ(sim.registryValue(kUninstallKey, "DisplayName"), std::optional<std::string>("Sunset Screen Saver"));
  EXPECT_EQ(sim.registryValue(kUninstallKey, "UninstallString"),
            std::optional<std::string>("\"C:\\WINDOWS\\Sunset.scr\" /u"));

  EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
  EXPECT_FALSE(form.labStatus.visible);
  EXPECT_EQ(form.progressBar.position, 0);
  EXPECT_EQ(view.repaintedStatusTexts, std::vector<std::string>{"Updating system parameters..."});
  ASSERT_EQ(sim.messageBoxes.size(), 1u);
  EXPECT_EQ(sim.messageBoxes[0].text, kPromptText);
  EXPECT_EQ(sim.messageBoxes[0].caption, "Installation Successful. ");
  EXPECT_TRUE(sim.errorDialogs.empty());

  // No: the window stays in its success state, with the pre-installation cursor.
  EXPECT_FALSE(form.closed());
  EXPECT_FALSE(sim.minimized);
  EXPECT_EQ(sim.appCursor(), pq::AppCursor::Default);
  EXPECT_EQ(isBusy, 0);
  EXPECT_TRUE(sim.fileExistsAt(kTempCopyPath));
}

TEST_F(InstallSaver, ThePromptComesWithTheFinalTextsAndTheNormalCursor) {
  startScreenSaver();
  std::string statusAtPrompt;
  pq::AppCursor cursorAtPrompt = pq::AppCursor::Wait;
  sim.onProcessMessages = [&] {
    statusAtPrompt = form.statusLabel.caption;
    cursorAtPrompt = sim.appCursor();
  };
  form.butInstallClick(nullptr);
  EXPECT_EQ(statusAtPrompt, "Installation Successful.");
  EXPECT_EQ(cursorAtPrompt, pq::AppCursor::Default);
}

TEST_F(InstallSaver, YesOpensTheControlPanelAndEndsTheInstaller) {
  startScreenSaver();
  sim.messageBoxAnswers.push_back(true);
  form.butInstallClick(nullptr);
  EXPECT_TRUE(sim.minimized);
  ASSERT_EQ(sim.winExecCalls.size(), 1u);
  EXPECT_EQ(sim.winExecCalls[0].commandLine,
            "\"C:\\WINDOWS\\SYSTEM32\\rundll32.exe\" shell32.dll,Control_RunDLL desk.cpl,,1");
  EXPECT_TRUE(form.closed());
  EXPECT_EQ(view.closeCount, 1);
  EXPECT_FALSE(sim.fileExistsAt(kTempCopyPath));
  EXPECT_TRUE(sim.fileExistsAt(kSaver));
}

TEST_F(InstallSaver, AnOpenDisplayPropertiesWindowIsClosedBeforeExtraction) {
  startScreenSaver();
  const pq::WindowHandle panel = sim.addTopLevelWindow("Display Properties");
  sim.callLog.clear();
  form.butInstallClick(nullptr);
  ASSERT_EQ(sim.clicks.size(), 1u);
  EXPECT_EQ(sim.clicks[0].window, panel);
  EXPECT_EQ(sim.clicks[0].itemId, 2);
  const auto click = std::find_if(sim.callLog.begin(), sim.callLog.end(),
                                  [](const std::string& line) { return line.rfind("clickDialogItem", 0) == 0; });
  const auto firstOpen = std::find_if(sim.callLog.begin(), sim.callLog.end(),
                                      [](const std::string& line) { return line.rfind("openFile", 0) == 0; });
  EXPECT_LT(click - sim.callLog.begin(), firstOpen - sim.callLog.begin());
}

TEST_F(InstallSaver, TheOldSaverIsSwitchedOffBeforeItIsReplaced) {
  startScreenSaver();
  sim.putFile(kSaver, "old saver");
  sim.setScreenSaveActiveState(true);
  sim.writePrivateProfileString("boot", "SCRNSAVE.EXE", sim.shortPathName(kSaver, 260), "system.ini");
  form.butInstallClick(nullptr);
  ASSERT_EQ(sim.spiCalls.size(), 2u);
  EXPECT_FALSE(sim.spiCalls[0].active);
  EXPECT_TRUE(sim.spiCalls[1].active);
  EXPECT_TRUE(sim.screenSaveActive());
}

TEST_F(InstallSaver, QuickTimeBelowTheRequiredLevelRollsTheSaverBack) {
  start(installerAskingForQuickTime(screenSaverEntries(), 3));
  sim.putFile("C:\\WINDOWS\\SYSTEM32\\QTim32.dll", "QuickTime 2");
  sim.putRegistryValue(kUninstallKey, "DisplayName", "Sunset Screen Saver"); // an earlier installation
  form.butInstallClick(nullptr);
  expectRolledBack(kQuickTimeText);
  EXPECT_FALSE(sim.fileExistsAt(kSaver));
  EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\lib1.dll"));
  EXPECT_TRUE(sim.errorDialogs.empty());
  EXPECT_FALSE(sim.screenSaveActive());
}

TEST_F(InstallSaver, QuickTimeLevelsAreMetByTheFilesInTheSystemDirectory) {
  const struct {
    int32_t level;
    const char* systemFile; // nullptr: none
    bool met;
  } cases[] = {
      {3, "QuickTime.qts", true}, {3, "QTim32.dll", false}, {2, "QTim32.dll", true}, {1, "QuickTime.qts", true},
      {1, nullptr, false},        {4, "QuickTime.qts", false}, {0, nullptr, true}, {-1, nullptr, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.level) + " " + (c.systemFile ? c.systemFile : "none"));
    sim.messageBoxes.clear();
    sim.deleteFile("C:\\WINDOWS\\SYSTEM32\\QuickTime.qts");
    sim.deleteFile("C:\\WINDOWS\\SYSTEM32\\QTim32.dll");
    if (c.systemFile) sim.putFile(std::string("C:\\WINDOWS\\SYSTEM32\\") + c.systemFile, "QuickTime");
    const auto run = startAnother(installerAskingForQuickTime(screenSaverEntries(), c.level));
    run->butInstallClick(nullptr);
    EXPECT_EQ(run->statusLabel.caption, c.met ? "Installation Successful." : "Installation Failed.");
    EXPECT_EQ(sim.messageBoxes.size(), c.met ? 1u : 0u);
    EXPECT_EQ(sim.fileExistsAt(kSaver), c.met);
    run->Close();
  }
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(InstallSaver, AnUnreadableDataFileIsReportedAndTheInstallationGoesOn) {
  std::vector<ImageEntry> entries = screenSaverEntries();
  entries[2].contents = dataFile(9).substr(0, 63);
  start(buildInstallerImage(entries));
  form.butInstallClick(nullptr);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(100, kData)});
  EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
  EXPECT_EQ(sim.messageBoxes.size(), 1u);
}

// The saver another installation put in place (and runs) is not this installation's to roll
// back: it keeps its data file and its entry, and stays the current saver.
TEST_F(InstallSaver, ABusySaverFailsTheInstallationAndLeavesTheInstalledOneAlone) {
  startScreenSaver();
  sim.putFile(kSaver, "old saver");
  sim.putFile(kData, "old data");
  sim.putRegistryValue(kUninstallKey, "DisplayName", "Sunset Screen Saver");
  sim.lockFile(kSaver);
  form.butInstallClick(nullptr);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(kErr_SaverBusy, kSaver)});
  expectFailedWindow("File may be corrupted.");
  EXPECT_EQ(installed(kSaver), "old saver");
  EXPECT_EQ(installed(kData), "old data");
  EXPECT_TRUE(sim.registryKeyExists(kUninstallKey));
}

TEST_F(InstallSaver, AnExtractionFailureRollsBackEverythingOfTheSaver) {
  start(buildInstallerImage(screenSaverEntries(), [](TInstallFileInfo* table) { table[5].stopOffset += 1; }));
  sim.putFile("C:\\WINDOWS\\Sunset dir", "left over");
  form.butInstallClick(nullptr);
  EXPECT_EQ(sim.errorDialogs,
            std::vector<std::string>{installErrorMessage(kErr_ShortTransfer, "C:\\WINDOWS\\lib2.dll")});
  expectRolledBack("File may be corrupted.");
  EXPECT_FALSE(sim.fileExistsAt(kSaver));
  EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\Sunset dir"));
}

TEST_F(InstallSaver, ARefusedActivationShowsCannotActivateAndRollsBack) {
  startScreenSaver();
  sim.refuseScreenSaveActive(true);
  form.butInstallClick(nullptr);
  expectRolledBack("Cannot activate screen saver.");
  EXPECT_FALSE(sim.fileExistsAt(kSaver));
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(InstallSaver, AProfileThatCannotBeWrittenFailsTheInstallation) {
  startScreenSaver();
  sim.failCall("writePrivateProfileString", pq::kWinErrorAccessDenied);
  form.butInstallClick(nullptr);
  expectRolledBack("File may be corrupted.");
  EXPECT_FALSE(sim.screenSaveActive());
}

TEST_F(InstallSaver, ARegistryFailureStillCountsAsSuccess) {
  startScreenSaver();
  sim.failCall("regCreateKey", pq::kWinErrorAccessDenied, "", 0, -1);
  form.butInstallClick(nullptr);
  EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
  EXPECT_FALSE(sim.registryKeyExists(kUninstallKey));
  EXPECT_EQ(sim.messageBoxes.size(), 1u);
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(InstallSaver, ClicksAtAMessagePauseOfTheInstallationAreIgnored) {
  startScreenSaver();
  EXPECT_EQ(pausesClickingBothButtons(&TForm1::butInstallClick), 6); // one per entry and one before the prompt
  EXPECT_EQ(sim.messageBoxes.size(), 1u);
  EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
  EXPECT_TRUE(sim.fileExistsAt(kSaver));
}

// Another installer's action holds the machine-wide lock: this one says so once and changes
// nothing, neither on the machine nor in its window (its start-up leaves the other's partial
// file alone); once the other is done it installs.
TEST_F(InstallSaver, AnotherInstallersActionMakesTheInstallationChangeNothing) {
  holdActionLockElsewhere();
  sim.putFile("C:\\WINDOWS\\PanoquillPartial1.tmp", "being written");
  startScreenSaver();
  EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\PanoquillPartial1.tmp"));
  const auto filesBefore = sim.snapshot();
  view.changes.clear();
  sim.cursorHistory.clear();
  form.butInstallClick(nullptr);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{
                                  "Setup Error: Another installation or un-installation is running on this "
                                  "computer.\r\n\r\nPlease wait until it has finished and try again."});
  EXPECT_EQ(sim.snapshot(), filesBefore);
  EXPECT_TRUE(sim.registrySubkeys("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall").empty());
  EXPECT_TRUE(sim.spiCalls.empty());
  EXPECT_TRUE(view.changes.empty());
  EXPECT_TRUE(sim.cursorHistory.empty());
  EXPECT_EQ(isBusy, 0);

  sim.unlockFile(kActionLockPath);
  form.butInstallClick(nullptr);
  EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
  EXPECT_EQ(sim.errorDialogs.size(), 1u);
}

// The lock covers every change of the action, a failed one's rollback too, and is free again
// for the prompt, which may wait on the user for long. A lock file left behind by a holder
// that lost power is taken over, and goes with this action's hold. While it is held, the
// session does not end: a log-off waits, and the system shows why.
TEST_F(InstallSaver, TheActionLockIsHeldFromStartToRollbackAndFreeAtThePrompt) {
  for (const bool fail : {false, true}) {
    SCOPED_TRACE(fail ? "failed installation" : "successful installation");
    sim.messageBoxes.clear();
    sim.refuseScreenSaveActive(fail);
    sim.putFile(kActionLockPath, "");
    const auto run = startAnother(buildInstallerImage(screenSaverEntries()));
    std::vector<std::pair<std::string, bool>> calls; // each call, and whether the lock was held
    std::string shutdownReason;
    sim.onCall = [&](const std::string& line) {
      calls.emplace_back(line, sim.fileOpenHere(kActionLockPath));
      // Held off from the call after the one that holds it off, to the call that lets go.
      const bool holding = calls.back().second && line != "blockShutdown " + std::string(kShutdownBlockReason);
      EXPECT_EQ(!sim.sessionMayEnd(), holding) << line;
      if (!sim.sessionMayEnd()) shutdownReason = sim.shutdownReason();
    };
    run->butInstallClick(nullptr);
    sim.onCall = nullptr;
    EXPECT_EQ(shutdownReason, "An installation or un-installation is running. Please wait until it has finished.");
    EXPECT_TRUE(sim.sessionMayEnd());
    const auto startsWith = [](const std::string& prefix) {
      return [prefix](const std::pair<std::string, bool>& call) { return call.first.rfind(prefix, 0) == 0; };
    };
    const auto lock = std::find_if(calls.begin(), calls.end(), startsWith("openLockFile"));
    ASSERT_NE(lock, calls.end());
    const auto released = std::find_if(lock + 1, calls.end(), [](const auto& call) { return !call.second; });
    const auto lastRegistryCall = std::find_if(calls.rbegin(), calls.rend(), startsWith("reg"));
    ASSERT_NE(lastRegistryCall, calls.rend());
    EXPECT_LT(lastRegistryCall.base() - calls.begin(), released - calls.begin());
    EXPECT_TRUE(std::none_of(released, calls.end(), [](const auto& call) { return call.second; }));
    EXPECT_EQ(released == calls.end() ? "" : released->first, fail ? "" : "processMessages");
    EXPECT_FALSE(sim.fileExistsAt(kActionLockPath));
    EXPECT_EQ(run->statusLabel.caption, fail ? "Installation Failed." : "Installation Successful.");
    run->Close();
  }
  EXPECT_TRUE(sim.errorDialogs.empty());
}

// Done or the close box during the installation: the saver is installed whole, the question
// is not asked, and the window then closes as usual, removing its copy without a word.
TEST_F(InstallSaver, ACloseDuringTheInstallationWaitsForItsEnd) {
  for (const bool inADialog : {false, true}) {
    SCOPED_TRACE(inADialog ? "closed while an error dialog of the action was open" : "closed at a message pause");
    sim.messageBoxes.clear();
    sim.errorDialogs.clear();
    RecordingView freshView;
    std::vector<ImageEntry> entries = screenSaverEntries();
    if (inADialog) entries[2].contents = dataFile(0).substr(0, 40); // reported, then installed
    const auto run = startAnother(buildInstallerImage(entries), &freshView);
    if (inADialog) {
      sim.onErrorDialog = [&](const std::string&) { run->Close(); };
    } else {
      sim.onProcessMessages = [&] { run->butDoneClick(nullptr); };
    }
    run->butInstallClick(nullptr);
    sim.onProcessMessages = nullptr;
    sim.onErrorDialog = nullptr;
    EXPECT_TRUE(run->closed());
    EXPECT_EQ(freshView.closeCount, 1);
    EXPECT_TRUE(sim.messageBoxes.empty());
    EXPECT_EQ(installed(kSaver), entries[1].contents);
    EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\lib2.dll"));
    EXPECT_TRUE(sim.registryKeyExists(kUninstallKey));
    EXPECT_TRUE(sim.screenSaveActive());
    EXPECT_FALSE(sim.fileExistsAt(kTempCopyPath));
    EXPECT_EQ(sim.errorDialogs.size(), inADialog ? 1u : 0u);
    EXPECT_EQ(sim.appCursor(), pq::AppCursor::Default);
  }
}

TEST_F(InstallSaver, TheInstallationCanRunAgainInTheSameRun) {
  startScreenSaver();
  form.butInstallClick(nullptr);
  sim.putFile(kSaver, "changed meanwhile");
  form.butInstallClick(nullptr);
  EXPECT_EQ(installed(kSaver), screenSaverEntries()[1].contents);
  EXPECT_EQ(sim.messageBoxes.size(), 2u);
}

TEST_F(InstallSaver, TheButtonOfAnUnusableArchiveDoesNothing) {
  std::string stub(DIRECTORY_OFFSET, '\0');
  start(stub);
  sim.errorDialogs.clear();
  form.butInstallClick(nullptr);
  EXPECT_EQ(form.statusLabel.caption, "");
  EXPECT_TRUE(sim.errorDialogs.empty());
}

} // namespace
} // namespace pqtest
