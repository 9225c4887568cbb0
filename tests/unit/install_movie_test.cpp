#include <gtest/gtest.h>

#include "support/installer_fixture.h"

namespace pqtest {
namespace {

const char* const kMovie = "C:\\Setup\\Show.exe";
const char* const kMovieData = "C:\\Setup\\Show.ssd";

using InstallMovie = InstallerTest;

TEST_F(InstallMovie, ASuccessfulInstallationPutsTheMovieNextToTheInstaller) {
  startMovie();
  form.butInstallClick(nullptr);

  EXPECT_EQ(installed(kMovie), movieEntries()[1].contents);
  EXPECT_EQ(installed(kMovieData), movieEntries()[2].contents);
  EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\impborl.dll"));
  EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
  EXPECT_TRUE(form.labStatus.visible);
  EXPECT_EQ(form.labStatus.caption, "Movie installed as: \r\n\tC:\\Setup\\Show.exe");

  ASSERT_EQ(sim.messageBoxes.size(), 1u);
  EXPECT_EQ(sim.messageBoxes[0].text,
            "Movie created as C:\\Setup\\Show.exe\r\n\r\nWould you like to open a window to this folder?");
  EXPECT_EQ(sim.messageBoxes[0].caption, "Movie Installation Complete.");

  // A movie touches neither the screen-saver settings nor the uninstall list.
  EXPECT_TRUE(sim.spiCalls.empty());
  EXPECT_FALSE(sim.profileValue("system.ini", "boot", "SCRNSAVE.EXE").has_value());
  EXPECT_TRUE(sim.registrySubkeys("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall").empty());
  EXPECT_FALSE(form.closed());
  EXPECT_TRUE(sim.errorDialogs.empty());
}

// The prompt names the file as it is created: a NUL after the name would end its text early.
TEST_F(InstallMovie, ThePromptNamesTheMovieAsItIsCreated) {
  std::vector<ImageEntry> entries = movieEntries();
  entries[1].name = std::string("Show.exe\0", 9);
  start(buildInstallerImage(entries));
  form.butInstallClick(nullptr);
  ASSERT_EQ(sim.messageBoxes.size(), 1u);
  EXPECT_EQ(sim.messageBoxes[0].text,
            "Movie created as C:\\Setup\\Show.exe\r\n\r\nWould you like to open a window to this folder?");
}

TEST_F(InstallMovie, YesOpensTheInstallersFolderAndEndsTheInstaller) {
  startMovie();
  sim.messageBoxAnswers.push_back(true);
  form.butInstallClick(nullptr);
  EXPECT_TRUE(sim.minimized);
  ASSERT_EQ(sim.shellExecuteCalls.size(), 1u);
  EXPECT_EQ(sim.shellExecuteCalls[0].verb, "");
  EXPECT_EQ(sim.shellExecuteCalls[0].file, "C:\\Setup\\");
  EXPECT_EQ(sim.shellExecuteCalls[0].showMode, 1);
  EXPECT_TRUE(form.closed());
  EXPECT_FALSE(sim.fileExistsAt(kTempCopyPath));
}

TEST_F(InstallMovie, QuickTimeBelowTheRequiredLevelFailsButLeavesTheFiles) {
  start(installerAskingForQuickTime(movieEntries(), 3));
  sim.putFile("C:\\WINDOWS\\SYSTEM32\\QTim32.dll", "QuickTime 2");
  form.butInstallClick(nullptr);
  EXPECT_EQ(form.statusLabel.caption, "Installation Failed.");
  EXPECT_EQ(form.labStatus.caption,
            "Requires QuickTime. Please download the latest version of QuickTime, available free from "
            "www.apple.com, and try again.");
  EXPECT_TRUE(sim.fileExistsAt(kMovie));
  EXPECT_TRUE(sim.fileExistsAt(kMovieData));
  EXPECT_TRUE(sim.messageBoxes.empty());
}

TEST_F(InstallMovie, TheLevelIsReadFromTheDataFileBesideTheInstaller) {
  start(installerAskingForQuickTime(movieEntries(), 0));
  sim.putFile("C:\\WINDOWS\\Show.ssd", dataFile(9));
  form.butInstallClick(nullptr);
  EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
}

TEST_F(InstallMovie, AFailedEntryKeepsTheFilesBeforeIt) {
  start(buildInstallerImage(movieEntries(), [](TInstallFileInfo* table) { table[4].unzippedSize -= 1; }));
  form.butInstallClick(nullptr);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(kErr_SizeMismatch, "C:\\WINDOWS\\lib1.dll")});
  EXPECT_EQ(form.statusLabel.caption, "Installation Failed.");
  EXPECT_EQ(form.labStatus.caption, "File may be corrupted.");
  expectFiles({{kMovie, true}, {kMovieData, true}, {"C:\\WINDOWS\\lib1.dll", false}, {"C:\\WINDOWS\\lib2.dll", false}});
}

} // namespace
} // namespace pqtest
