#include <gtest/gtest.h>

#include "installer/temporary_copy.h"
#include "support/installer_fixture.h"

namespace pqtest {
namespace {

using Startup = InstallerTest;

TEST_F(Startup, PathsEndInABackslashAndTheCopyIsAByteForByteImage) {
  const std::string image = buildInstallerImage(screenSaverEntries());
  start(image);
  EXPECT_EQ(pathInstaller, "C:\\Setup\\Setup.exe");
  EXPECT_EQ(pathInstallerDir, "C:\\Setup\\");
  EXPECT_EQ(pathWindows, "C:\\WINDOWS\\");
  EXPECT_EQ(pathSYS, "C:\\WINDOWS\\SYSTEM32\\");
  EXPECT_EQ(pathTempFile, "C:\\WINDOWS\\KWRXtemp1.dat");
  EXPECT_EQ(installed(kTempCopyPath), image);
  EXPECT_EQ(entryNameAt(1), "impborl.dat");
  EXPECT_EQ(entryNameAt(0), "install.dat");
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(Startup, ADirectoryReportedWithItsBackslashKeepsExactlyOne) {
  sim.setWindowsDirectoryReported("C:\\WINDOWS\\");
  sim.setSystemDirectoryReported("C:\\WINDOWS\\SYSTEM32\\");
  startScreenSaver();
  EXPECT_EQ(pathWindows, "C:\\WINDOWS\\");
  EXPECT_EQ(pathSYS, "C:\\WINDOWS\\SYSTEM32\\");
  EXPECT_EQ(pathTempFile, "C:\\WINDOWS\\KWRXtemp1.dat");
}

// Copies of installers still running are held open; the first number they leave free is ours.
TEST_F(Startup, TheCopyTakesTheFirstNumberThatRunningInstallersLeaveFree) {
  putFiles({{"C:\\WINDOWS\\KWRXtemp1.dat", "another installer, running"},
            {"C:\\WINDOWS\\KWRXtemp2.dat", "another installer, running"},
            {"C:\\WINDOWS\\KWRXtemp4.dat", "held by nobody"}});
  sim.lockFile("C:\\WINDOWS\\KWRXtemp1.dat");
  sim.lockFile("C:\\WINDOWS\\KWRXtemp2.dat");
  sim.restart();
  startScreenSaver();
  EXPECT_EQ(pathTempFile, "C:\\WINDOWS\\KWRXtemp3.dat");
  EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\KWRXtemp3.dat"));
  EXPECT_EQ(installed("C:\\WINDOWS\\KWRXtemp1.dat"), "another installer, running");
  EXPECT_EQ(installed("C:\\WINDOWS\\KWRXtemp2.dat"), "another installer, running");
  EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\KWRXtemp4.dat"));
  EXPECT_TRUE(sim.errorDialogs.empty());
}

// A run that was killed leaves a whole installer behind, and new files under partial names.
// The next start-up removes a copy once no installer can still be using it: made before the
// last restart, or made since by a program that holds its copy while it runs (it carries the
// mark) and held by nobody; an older installer does not hold its copy, so an unmarked one made
// since stays. Partial files go (while no action runs: install_saver_test); nothing else does.
TEST_F(Startup, WhatKilledRunsLeftGoesAndNothingElse) {
  const std::vector<std::string> leftOvers = {"KWRXtemp1.dat", "kwrxtemp5.DAT", "KWRXtemp12.dat",
                                              "PanoquillPartial1.tmp", "..\\Setup\\panoquillpartial7.TMP"};
  const std::vector<std::string> others = {"KWRXtemp.dat",  "KWRXtemp01.dat", "KWRXtempX.dat", "KWRXtemp2.dat.bak",
                                           "KWRXtemp3.log", "KWRXtemp4.dat\\inside.txt", "PanoquillPartial01.tmp"};
  for (const std::string& name : leftOvers) sim.putFile("C:\\WINDOWS\\" + name, "left over");
  for (const std::string& name : others) sim.putFile("C:\\WINDOWS\\" + name, "not a copy");
  sim.setReadOnly("C:\\WINDOWS\\KWRXtemp12.dat", true);
  sim.restart();
  sim.putFile("C:\\WINDOWS\\KWRXtemp6.dat", std::string("MZ a program that ") + kHeldCopyMark + " and more");
  sim.putFile("C:\\WINDOWS\\KWRXtemp7.dat", "not a copy: an older installer's, maybe running");
  startScreenSaver();
  EXPECT_EQ(pathTempFile, "C:\\WINDOWS\\KWRXtemp1.dat");
  EXPECT_EQ(installed("C:\\WINDOWS\\KWRXtemp1.dat"), buildInstallerImage(screenSaverEntries()));
  for (const std::string& name : leftOvers) {
    if (name != "KWRXtemp1.dat") {
      EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\" + name)) << name;
    }
  }
  EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\KWRXtemp6.dat"));
  for (const std::string& name : others) EXPECT_EQ(installed("C:\\WINDOWS\\" + name), "not a copy") << name;
  EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\KWRXtemp7.dat"));
  EXPECT_TRUE(sim.errorDialogs.empty());
}

// Another installer's start-up must find our copy in use for as long as we run.
TEST_F(Startup, TheRunningInstallerHoldsItsCopyUntilItCloses) {
  startScreenSaver();
  EXPECT_FALSE(sim.deleteFile(kTempCopyPath));
  EXPECT_EQ(sim.lastError(), pq::kWinErrorSharingViolation);
  form.butInstallClick(nullptr);
  form.butUnInstallClick(nullptr);
  EXPECT_FALSE(sim.deleteFile(kTempCopyPath));
  form.butDoneClick(nullptr);
  EXPECT_FALSE(sim.fileExistsAt(kTempCopyPath));
  EXPECT_TRUE(sim.errorDialogs.empty());
}

// ".scr" in any case and with trailing blanks makes a screen saver, anything else a movie; the
// caption always drops exactly four characters of the name, whatever the extension's length.
TEST_F(Startup, EntryTwosNamePicksTheModeAndTheCaption) {
  const char* const damaged = "Installer is damaged. Please try again with new copy of the installer.";
  const struct {
    const char* name;
    uint8_t screenSaver;
    const char *caption, *detail;
  } cases[] = {
      {"Sunset.SCR", 1, "Screen Saver Installation: Sunset", damaged},
      {"Sunset.scr  ", 1, "Screen Saver Installation: Sunset.s", damaged},
      {"Sunset.exe", 0, "Movie Installation: Sunset", "Movie installed as: \r\n\tC:\\Setup\\Sunset.exe"},
      {"Show.html", 0, "Movie Installation: Show.", "Movie installed as: \r\n\tC:\\Setup\\Show.html"},
      {"Show", 0, "Movie Installation: ", "Movie installed as: \r\n\tC:\\Setup\\Show"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ImageEntry> entries = screenSaverEntries();
    entries[1].name = c.name;
    const auto run = startAnother(buildInstallerImage(entries));
    EXPECT_EQ(isScreenSaver, c.screenSaver);
    EXPECT_EQ(completionKind, c.screenSaver ? 4 : 5);
    EXPECT_EQ(run->form.caption, c.caption);
    EXPECT_EQ(run->butInstall.caption, c.screenSaver ? "Install Screen Saver" : "Install Movie");
    EXPECT_EQ(pathUninstall, c.screenSaver ? "C:\\WINDOWS\\" : "C:\\Setup\\");
    EXPECT_EQ(run->progressBar.max, 5);
    EXPECT_FALSE(run->statusLabel.visible);
    EXPECT_FALSE(run->labStatus.visible);
    EXPECT_EQ(run->labStatus.caption, c.detail);
    EXPECT_TRUE(run->butInstall.enabled && run->Remove.enabled);
    EXPECT_EQ(sim.appCursor(), pq::AppCursor::Default);
    run->Close();
  }
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(Startup, AnInstallerWithoutPayloadIsReportedAsCorruptedAndLeavesNothingBehind) {
  std::string stub = "MZ installer stub";
  stub.resize(DIRECTORY_OFFSET, '\0');
  start(stub);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{kCorruptedInstallerMessage});
  expectUnusable(form);

  form.butDoneClick(nullptr);
  EXPECT_FALSE(sim.fileExistsAt(kTempCopyPath));
  EXPECT_EQ(sim.errorDialogs.size(), 1u);
}

TEST_F(Startup, ATableOneByteShortIsReportedAsCorrupted) {
  std::string image = buildInstallerImage(screenSaverEntries());
  image.resize(DIRECTORY_OFFSET + kDirectoryTableSize - 1);
  start(image);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{kCorruptedInstallerMessage});
  expectUnusable(form);
}

TEST_F(Startup, AFailedCopyIsShownWithBothPathsAndDisablesTheActions) {
  sim.failCall("copyFile", pq::kWinErrorAccessDenied);
  startScreenSaver();
  ASSERT_EQ(sim.errorDialogs.size(), 1u);
  EXPECT_EQ(sim.errorDialogs[0], "System Error: Problem copying C:\\Setup\\Setup.exe to C:\\WINDOWS\\KWRXtemp1.dat. "
                                 "\r\n\r\n" + systemErrorText(5));
  EXPECT_FALSE(systemErrorText(5).empty());
  expectUnusable(form);
}

TEST_F(Startup, ACopyThatCannotBeOpenedOrReadIsShownWithItsErrorForTheInstaller) {
  sim.failCall("openFile", pq::kWinErrorSharingViolation, "KWRXtemp1.dat");
  startScreenSaver();
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(32, "C:\\Setup\\Setup.exe")});
  expectUnusable(form);
}

TEST_F(Startup, AFailedReadOfTheTableIsShownWithItsErrorForTheInstaller) {
  sim.failCall("read", pq::kWinErrorAccessDenied, "KWRXtemp1.dat");
  startScreenSaver();
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(5, "C:\\Setup\\Setup.exe")});
  expectUnusable(form);
}

TEST_F(Startup, ALockedCopyAtCloseIsReportedOnceAndTheWindowStillCloses) {
  startScreenSaver();
  sim.lockFile(kTempCopyPath);
  form.butDoneClick(nullptr);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(kErr_FileBusy, kTempCopyPath)});
  EXPECT_TRUE(form.closed());
  EXPECT_EQ(view.closeCount, 1);
  EXPECT_TRUE(sim.fileExistsAt(kTempCopyPath));
}

// An entry name is joined to a directory as it stands, so a name that leaves the directory,
// names a device or cannot be a file name makes the archive unusable.
TEST_F(Startup, UnsafeEntryNamesMakeTheArchiveUnusable) {
  const struct {
    int entry;
    const char* name;
  } cases[] = {
      {2, "..\\Evil.scr"}, {4, "C:\\x.dat"}, {3, "sub/Sunset.ssd"}, {5, ""},         {1, ".."},
      {2, "CON.scr"},      {5, "lib?.dat"},  {4, "lib\x01.dat"},    {3, "NUL"},      {1, "a:b.dat"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim.errorDialogs.clear();
    // pqpack refuses these names: the table is changed behind it.
    const auto run = startAnother(buildInstallerImage(screenSaverEntries(), [&](TInstallFileInfo* table) {
      setEntryName(table[c.entry], c.name);
    }));
    EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{kCorruptedInstallerMessage});
    expectUnusable(*run);
    run->Close();
  }
  // Nothing was extracted or written outside the copies, which close removed again.
  for (const auto& [path, contents] : sim.snapshot()) {
    EXPECT_TRUE(path == kInstallerPath) << path;
  }
}

} // namespace
} // namespace pqtest
