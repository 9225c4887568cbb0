// The simulated Windows' own features, beyond the contract it shares with the real backend:
// locks, failure injection, 8.3 aliases, scripted dialogs and the snapshot.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "compression/implode.h"
#include "platform/sim/sim_os.h"
#include "support/sim_test.h"

namespace pqtest {
namespace {

using namespace pq;

class SimOsTest : public SimTest<> {
protected:
  SimOsTest() : SimTest("sim_os") {}
};

TEST_F(SimOsTest, StartsWithTheWindowsAndSystemFolders) {
  EXPECT_TRUE(sim.directoryExistsAt("C:\\WINDOWS"));
  EXPECT_TRUE(sim.directoryExistsAt("c:/windows/system32"));
  EXPECT_EQ(sim.windowsDirectory(pq::kDirectoryBufferChars), "C:\\WINDOWS");
  EXPECT_EQ(sim.systemDirectory(pq::kDirectoryBufferChars), "C:\\WINDOWS\\SYSTEM32");
  EXPECT_EQ(sim.windowsDirectory(11), "C:\\WINDOWS") << "eleven characters hold the text and its NUL";
  EXPECT_EQ(sim.windowsDirectory(10), "");
}

TEST_F(SimOsTest, LooksUpCaseBlindAndKeepsTheCaseGiven) {
  sim.putFile("C:\\WINDOWS\\Sunset.SCR", "saver");
  FoundFile found;
  ASSERT_TRUE(sim.findFirstFile("c:\\windows\\SUNSET.scr", &found));
  EXPECT_EQ(found.name, "Sunset.SCR");
  EXPECT_EQ(found.size, 5u);
  EXPECT_EQ(sim.fileContents("C:/Windows/sunset.scr"), "saver");
  EXPECT_EQ(sim.snapshot().count("C:\\WINDOWS\\Sunset.SCR"), 1u);
}

TEST_F(SimOsTest, LockedFileRefusesDeletionUntilReleasedAfterItsCount) {
  sim.putFile("C:\\WINDOWS\\Saver.scr", "x");
  sim.lockFile("C:\\WINDOWS\\Saver.scr", 3);
  for (int attempt = 1; attempt <= 3; ++attempt) {
    EXPECT_FALSE(sim.deleteFile("C:\\WINDOWS\\Saver.scr")) << "attempt " << attempt;
    EXPECT_EQ(sim.lastError(), kWinErrorSharingViolation);
  }
  EXPECT_TRUE(sim.deleteFile("C:\\WINDOWS\\Saver.scr"));
  EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\Saver.scr"));
}

TEST_F(SimOsTest, LockedFileRefusesOpeningAndReplacementButNotAttributeChanges) {
  sim.putFile("C:\\a.txt", "a");
  sim.putFile("C:\\b.txt", "b");
  sim.lockFile("C:\\b.txt");
  EXPECT_EQ(sim.openFile("C:\\b.txt", FileAccess::Read, FileShare::ReadWrite, FileCreation::OpenExisting), nullptr);
  EXPECT_EQ(sim.lastError(), kWinErrorSharingViolation);
  EXPECT_FALSE(sim.copyFile("C:\\a.txt", "C:\\b.txt", false));
  EXPECT_EQ(sim.lastError(), kWinErrorSharingViolation);
  EXPECT_FALSE(sim.copyFile("C:\\b.txt", "C:\\c.txt", false));
  EXPECT_EQ(sim.lastError(), kWinErrorSharingViolation);
  sim.setReadOnly("C:\\b.txt", true);
  EXPECT_TRUE(sim.setFileAttributes("C:\\b.txt", kFileAttributeNormal));
  EXPECT_FALSE(sim.isReadOnly("C:\\b.txt"));
  sim.unlockFile("C:\\b.txt");
  EXPECT_TRUE(sim.deleteFile("C:\\b.txt"));
}

TEST_F(SimOsTest, CopyOntoItselfCollidesWithItsOwnSource) {
  sim.putFile("C:\\a.txt", "a");
  EXPECT_FALSE(sim.copyFile("C:\\a.txt", "C:\\A.TXT", false));
  EXPECT_EQ(sim.lastError(), kWinErrorSharingViolation);
  EXPECT_EQ(sim.fileContents("C:\\a.txt"), "a");
}

TEST_F(SimOsTest, OpenHandlesShareAsTheirModesAllow) {
  sim.putFile("C:\\data.bin", "1234");
  auto reader = sim.openFile("C:\\data.bin", FileAccess::Read, FileShare::Read, FileCreation::OpenExisting);
  ASSERT_NE(reader, nullptr);
  EXPECT_NE(sim.openFile("C:\\data.bin", FileAccess::Read, FileShare::ReadWrite, FileCreation::OpenExisting), nullptr);
  EXPECT_EQ(sim.openFile("C:\\data.bin", FileAccess::Write, FileShare::ReadWrite, FileCreation::OpenExisting), nullptr);
  EXPECT_EQ(sim.lastError(), kWinErrorSharingViolation);
  EXPECT_FALSE(sim.deleteFile("C:\\data.bin"));
  EXPECT_EQ(sim.lastError(), kWinErrorSharingViolation);
  EXPECT_TRUE(reader->close());
  EXPECT_FALSE(reader->close()) << "a closed handle is inert";
  EXPECT_EQ(sim.lastError(), kWinErrorInvalidHandle);
  EXPECT_TRUE(sim.deleteFile("C:\\data.bin"));
}

TEST_F(SimOsTest, ReadOnlyFileRefusesWritingOpensAndDeletion) {
  sim.putFile("C:\\ro.txt", "keep");
  sim.setReadOnly("C:\\ro.txt", true);
  EXPECT_EQ(sim.openFile("C:\\ro.txt", FileAccess::Write, FileShare::None, FileCreation::OpenExisting), nullptr);
  EXPECT_EQ(sim.lastError(), kWinErrorAccessDenied);
  EXPECT_EQ(sim.openFile("C:\\ro.txt", FileAccess::Write, FileShare::None, FileCreation::CreateAlways), nullptr);
  EXPECT_NE(sim.openFile("C:\\ro.txt", FileAccess::Read, FileShare::Read, FileCreation::OpenExisting), nullptr);
  EXPECT_FALSE(sim.deleteFile("C:\\ro.txt"));
  EXPECT_EQ(sim.lastError(), kWinErrorAccessDenied);
  EXPECT_EQ(sim.fileContents("C:\\ro.txt"), "keep");
}

TEST_F(SimOsTest, InjectedFailureSkipsThenFailsForItsCountOnMatchingPathsOnly) {
  putFiles({{"C:\\WINDOWS\\a.dll", "a"}, {"C:\\WINDOWS\\b.scr", "b"}, {"C:\\WINDOWS\\c.scr", "c"},
            {"C:\\WINDOWS\\d.scr", "d"}});
  sim.failCall("deleteFile", kWinErrorAccessDenied, ".SCR", 1, 1);
  EXPECT_TRUE(sim.deleteFile("C:\\WINDOWS\\a.dll")) << "path filter does not match";
  EXPECT_TRUE(sim.deleteFile("C:\\WINDOWS\\b.scr")) << "the skipped call";
  EXPECT_FALSE(sim.deleteFile("C:\\WINDOWS\\c.scr"));
  EXPECT_EQ(sim.lastError(), kWinErrorAccessDenied);
  EXPECT_TRUE(sim.fileExistsAt("C:\\WINDOWS\\c.scr")) << "a failed call changes nothing";
  EXPECT_TRUE(sim.deleteFile("C:\\WINDOWS\\c.scr")) << "times ran out";
  EXPECT_TRUE(sim.deleteFile("C:\\WINDOWS\\d.scr"));
}

TEST_F(SimOsTest, InjectedFailureWithoutLimitFailsEveryCallUntilCleared) {
  sim.failCall("regCreateKey", kWinErrorAccessDenied, "", 0, -1);
  std::unique_ptr<OsRegistryKey> key;
  for (int attempt = 0; attempt < 3; ++attempt)
    EXPECT_EQ(sim.regCreateKey("SOFTWARE\\X", &key), static_cast<int32_t>(kWinErrorAccessDenied));
  EXPECT_FALSE(sim.registryKeyExists("SOFTWARE\\X"));
  sim.clearFailures();
  EXPECT_EQ(sim.regCreateKey("SOFTWARE\\X", &key), 0);
}

TEST_F(SimOsTest, InjectedWriteFailureWritesNothing) {
  auto file = sim.openFile("C:\\out.bin", FileAccess::Write, FileShare::None, FileCreation::CreateAlways);
  ASSERT_NE(file, nullptr);
  sim.failCall("write", kWinErrorDiskFull, "out.bin");
  uint32_t written = 99;
  EXPECT_FALSE(file->write("abc", 3, &written));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(sim.lastError(), kWinErrorDiskFull);
  EXPECT_TRUE(file->write("abc", 3, &written));
  file.reset();
  EXPECT_EQ(sim.fileContents("C:\\out.bin"), "abc");
}

TEST_F(SimOsTest, CallLogNamesEveryCallWithItsArgument) {
  sim.putFile("C:\\WINDOWS\\x.scr", "x");
  sim.deleteFile("C:\\WINDOWS\\x.scr");
  sim.processMessages();
  ASSERT_EQ(sim.callLog.size(), 2u);
  EXPECT_EQ(sim.callLog[0], "deleteFile C:\\WINDOWS\\x.scr");
  EXPECT_EQ(sim.callLog[1], "processMessages");
}

TEST_F(SimOsTest, ShortAliasesAreNumberedPerFolderAndOpenTheLongFile) {
  putFiles({{"C:\\WINDOWS\\Long Saver Name.scr", "first"}, {"C:\\WINDOWS\\Long Saver Other.scr", "second"},
            {"C:\\Program Files\\Long Saver Name.scr", "third"}});
  EXPECT_EQ(sim.shortPathName("C:\\WINDOWS\\Long Saver Name.scr", 260), "C:\\WINDOWS\\LONGSA~1.SCR");
  EXPECT_EQ(sim.shortPathName("C:\\WINDOWS\\Long Saver Other.scr", 260), "C:\\WINDOWS\\LONGSA~2.SCR");
  EXPECT_EQ(sim.shortPathName("C:\\Program Files\\Long Saver Name.scr", 260), "C:\\PROGRA~1\\LONGSA~1.SCR");
  EXPECT_EQ(sim.fileContents("C:\\WINDOWS\\longsa~2.scr"), "second");
  FoundFile found;
  ASSERT_TRUE(sim.findFirstFile("C:\\PROGRA~1\\LONGSA~1.SCR", &found));
  EXPECT_EQ(found.name, "Long Saver Name.scr");
}

TEST_F(SimOsTest, ShortNameKeepsValidShortNamesAsStoredAndNeedsRoomForItsNul) {
  sim.putFile("C:\\WINDOWS\\sunset.scr", "x");
  EXPECT_EQ(sim.shortPathName("c:\\windows\\SUNSET.SCR", 260), "c:\\WINDOWS\\sunset.scr");
  const std::string expected = "C:\\WINDOWS\\sunset.scr";
  EXPECT_EQ(sim.shortPathName(expected, static_cast<uint32_t>(expected.size() + 1)), expected);
  EXPECT_EQ(sim.shortPathName(expected, static_cast<uint32_t>(expected.size())), "");
  EXPECT_EQ(sim.shortPathName("C:\\WINDOWS\\missing.scr", 260), "");
  EXPECT_EQ(sim.lastError(), kWinErrorFileNotFound);
}

TEST_F(SimOsTest, AliasesAreFreedWhenTheirFileGoes) {
  sim.putFile("C:\\WINDOWS\\Long Saver Name.scr", "first");
  EXPECT_EQ(sim.shortPathName("C:\\WINDOWS\\Long Saver Name.scr", 260), "C:\\WINDOWS\\LONGSA~1.SCR");
  EXPECT_TRUE(sim.deleteFile("C:\\WINDOWS\\Long Saver Name.scr"));
  sim.putFile("C:\\WINDOWS\\Long Saver Later.scr", "later");
  EXPECT_EQ(sim.shortPathName("C:\\WINDOWS\\Long Saver Later.scr", 260), "C:\\WINDOWS\\LONGSA~1.SCR");
}

TEST_F(SimOsTest, MessageBoxesTakeScriptedAnswersThenNo) {
  sim.messageBoxAnswers = {true, false};
  EXPECT_TRUE(sim.messageBoxYesNo("Open?", "Setup"));
  EXPECT_FALSE(sim.messageBoxYesNo("Again?", "Setup"));
  EXPECT_FALSE(sim.messageBoxYesNo("Empty queue?", "Setup"));
  ASSERT_EQ(sim.messageBoxes.size(), 3u);
  EXPECT_EQ(sim.messageBoxes[0].text, "Open?");
  EXPECT_EQ(sim.messageBoxes[0].caption, "Setup");
}

TEST_F(SimOsTest, ErrorDialogsCursorAndMessagesAreRecorded) {
  std::string seen;
  sim.onErrorDialog = [&](const std::string& text) { seen = text; };
  int hooks = 0;
  sim.onProcessMessages = [&] { ++hooks; };
  sim.showErrorDialog("Installation Error: Unspecified error.");
  sim.setAppCursor(AppCursor::Wait);
  sim.setAppCursor(AppCursor::Default);
  sim.processMessages();
  sim.minimizeApplication();
  EXPECT_EQ(seen, "Installation Error: Unspecified error.");
  EXPECT_EQ(sim.errorDialogs.size(), 1u);
  EXPECT_EQ(sim.cursorHistory, (std::vector<AppCursor>{AppCursor::Wait, AppCursor::Default}));
  EXPECT_EQ(sim.appCursor(), AppCursor::Default);
  EXPECT_EQ(sim.processMessagesCount, 1);
  EXPECT_EQ(hooks, 1);
  EXPECT_TRUE(sim.minimized);
}

TEST_F(SimOsTest, DisplayPropertiesClosesOnCancelAndOpensFromItsCommand) {
  const WindowHandle window = sim.addTopLevelWindow("Display Properties");
  EXPECT_EQ(sim.findWindow("display properties"), window);
  sim.clickDialogItem(window, 1);
  EXPECT_TRUE(sim.windowIsOpen(window));
  sim.clickDialogItem(window, 2);
  EXPECT_FALSE(sim.windowIsOpen(window));
  EXPECT_EQ(sim.findWindow("Display Properties"), 0u);
  sim.onWinExec = [&](const std::string&) { sim.addTopLevelWindow("Display Properties"); };
  EXPECT_EQ(sim.winExec("control.exe desk.cpl,,1", kShowNormal), 33u);
  EXPECT_NE(sim.findWindow("Display Properties"), 0u);
  EXPECT_EQ(sim.findWindowCount, 3);
}

TEST_F(SimOsTest, LibraryResolvesTheCodecUnlessAnExportIsOmitted) {
  EXPECT_EQ(sim.loadLibrary("C:\\WINDOWS\\impborl.dll"), nullptr);
  EXPECT_EQ(sim.lastError(), kWinErrorModNotFound);
  sim.putFile("C:\\WINDOWS\\impborl.dll", "MZ");
  sim.omitLibraryExport("_implode");
  {
    auto library = sim.loadLibrary("C:\\WINDOWS\\impborl.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->symbol("_explode"), reinterpret_cast<void*>(&pq_explode));
    EXPECT_EQ(library->symbol("_crc32"), reinterpret_cast<void*>(&pq_crc32));
    EXPECT_EQ(library->symbol("_implode"), nullptr);
    EXPECT_EQ(library->symbol("_EXPLODE"), nullptr);
  }
  EXPECT_EQ(sim.libraryLoads, 1);
  EXPECT_EQ(sim.libraryFrees, 1);
  sim.failLibraryLoads(kWinErrorBadExeFormat);
  EXPECT_EQ(sim.loadLibrary("C:\\WINDOWS\\impborl.dll"), nullptr);
  EXPECT_EQ(sim.lastError(), kWinErrorBadExeFormat);
}

TEST_F(SimOsTest, ProfileWithoutAFolderLivesInTheWindowsDirectory) {
  EXPECT_TRUE(sim.writePrivateProfileString("boot", "SCRNSAVE.EXE", "C:\\WINDOWS\\LONGSA~1.SCR", "system.ini"));
  EXPECT_EQ(sim.fileContents("C:\\WINDOWS\\SYSTEM.INI"), "[boot]\r\nSCRNSAVE.EXE=C:\\WINDOWS\\LONGSA~1.SCR\r\n");
  EXPECT_EQ(sim.profileValue("system.ini", "BOOT", "scrnsave.exe"), "C:\\WINDOWS\\LONGSA~1.SCR");
  EXPECT_EQ(sim.profileValue("system.ini", "boot", "shell"), std::nullopt);
}

TEST_F(SimOsTest, ProfileReplacesInPlaceAndAddsKeysAtTheEndOfTheirSection) {
  sim.putFile("C:\\WINDOWS\\system.ini", "[boot]\r\nshell=Explorer.exe\r\nSCRNSAVE.EXE=old.scr\r\n\r\n[386Enh]\r\nwoafont=dosapp.fon\r\n");
  EXPECT_TRUE(sim.writePrivateProfileString("Boot", "scrnsave.exe", "new.scr", "system.ini"));
  EXPECT_TRUE(sim.writePrivateProfileString("boot", "language", "enu", "system.ini"));
  EXPECT_EQ(sim.fileContents("C:\\WINDOWS\\system.ini"),
            "[boot]\r\nshell=Explorer.exe\r\nscrnsave.exe=new.scr\r\nlanguage=enu\r\n\r\n[386Enh]\r\nwoafont=dosapp.fon\r\n");
  EXPECT_EQ(sim.getPrivateProfileString("386enh", "WOAFONT", "", 2048, "system.ini"), "dosapp.fon");
}

TEST_F(SimOsTest, ProfileWriteOfALockedFileFails) {
  sim.putFile("C:\\WINDOWS\\system.ini", "[boot]\r\n");
  sim.lockFile("C:\\WINDOWS\\system.ini");
  EXPECT_FALSE(sim.writePrivateProfileString("boot", "SCRNSAVE.EXE", "x", "system.ini"));
  EXPECT_EQ(sim.lastError(), kWinErrorSharingViolation);
  EXPECT_EQ(sim.fileContents("C:\\WINDOWS\\system.ini"), "[boot]\r\n");
}

TEST_F(SimOsTest, RegistryArrangedByTheTestIsSeenThroughTheSeam) {
  sim.putRegistryValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sunset", "DisplayName", "Sunset Screen Saver");
  sim.putRegistryKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sunset\\Extra");
  std::unique_ptr<OsRegistryKey> key;
  ASSERT_EQ(sim.regOpenKey("software\\microsoft\\windows\\currentversion\\uninstall\\SUNSET", &key), 0);
  std::string value;
  EXPECT_EQ(key->getString("DISPLAYNAME", &value), 0);
  EXPECT_EQ(value, "Sunset Screen Saver");
  EXPECT_EQ(sim.registrySubkeys("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sunset"),
            std::vector<std::string>{"Extra"});
}

TEST_F(SimOsTest, RegistryKeyDeletedWhileOpenReportsItself) {
  std::unique_ptr<OsRegistryKey> key;
  ASSERT_EQ(sim.regCreateKey("SOFTWARE\\Gone", &key), 0);
  ASSERT_EQ(sim.regDeleteKey("SOFTWARE\\Gone"), 0);
  EXPECT_EQ(key->setString("DisplayName", "x"), 1018); // ERROR_KEY_DELETED
  EXPECT_FALSE(sim.registryKeyExists("SOFTWARE\\Gone"));
}

TEST_F(SimOsTest, SystemMessagesHaveTheWindowsTexts) {
  EXPECT_EQ(sim.systemMessage(2, 256), "The system cannot find the file specified.\r\n");
  EXPECT_EQ(sim.systemMessage(5, 256), "Access is denied.\r\n");
  EXPECT_EQ(sim.systemMessage(32, 256),
            "The process cannot access the file because it is being used by another process.\r\n");
  EXPECT_EQ(sim.systemMessage(112, 256), "There is not enough space on the disk.\r\n");
  EXPECT_EQ(sim.systemMessage(193, 256), "%1 is not a valid Win32 application.\r\n");
  EXPECT_EQ(sim.systemMessage(5, 20), "Access is denied.\r\n") << "twenty characters hold it and its NUL";
  EXPECT_EQ(sim.systemMessage(5, 19), "") << "a text that does not fit is not cut";
  EXPECT_EQ(sim.lastError(), 122u);
  EXPECT_EQ(sim.systemMessage(99999, 256), "");
  EXPECT_EQ(sim.systemMessage(static_cast<uint32_t>(-32), 256), "");
  EXPECT_EQ(sim.systemMessage(0x80070002u, 256), "");
}

TEST_F(SimOsTest, ScreenSaveSwitchRecordsEveryCallAndCanRefuse) {
  EXPECT_TRUE(sim.setScreenSaveActive(true, 2));
  EXPECT_TRUE(sim.screenSaveActive());
  sim.refuseScreenSaveActive(true);
  EXPECT_FALSE(sim.setScreenSaveActive(false, 2));
  EXPECT_TRUE(sim.screenSaveActive()) << "a refused switch changes nothing";
  ASSERT_EQ(sim.spiCalls.size(), 2u);
  EXPECT_FALSE(sim.spiCalls[1].active);
  EXPECT_EQ(sim.spiCalls[1].flags, 2u);
}

TEST_F(SimOsTest, PathsDropTrailingDotsAndBlanksAndFollowDotDot) {
  sim.putFile("C:\\WINDOWS\\x.scr", "x");
  expectFiles({{"C:\\WINDOWS\\x.scr. ", true}, {"C:\\WINDOWS\\SYSTEM32\\..\\.\\x.scr", true},
               {"D:\\WINDOWS\\x.scr", false}, {"WINDOWS\\x.scr", false}});
}

TEST_F(SimOsTest, CreateAlwaysOverAnExistingFileSaysSoInTheLastError) {
  sim.putFile("C:\\a.bin", "old");
  auto file = sim.openFile("C:\\A.BIN", FileAccess::Write, FileShare::None, FileCreation::CreateAlways);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(sim.lastError(), 183u); // ERROR_ALREADY_EXISTS
  file.reset();
  EXPECT_EQ(sim.fileContents("C:\\a.bin"), "");
  EXPECT_EQ(sim.openFile("C:\\bad|name.bin", FileAccess::Write, FileShare::None, FileCreation::CreateAlways), nullptr);
  EXPECT_EQ(sim.lastError(), 123u); // ERROR_INVALID_NAME
}

TEST_F(SimOsTest, TenthAliasShortensItsBase) {
  for (int i = 0; i < 10; ++i) sim.putFile("C:\\Many\\Long Name " + std::to_string(i) + ".txt", "x");
  EXPECT_EQ(sim.shortPathName("C:\\Many\\Long Name 0.txt", 260), "C:\\Many\\LONGNA~1.TXT");
  EXPECT_EQ(sim.shortPathName("C:\\Many\\Long Name 9.txt", 260), "C:\\Many\\LONGN~10.TXT");
}

TEST_F(SimOsTest, SnapshotListsFilesOnlyAsWindowsPaths) {
  sim.putFile("C:\\Movies\\Show\\show.exe", "exe");
  const auto files = sim.snapshot();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files.begin()->first, "C:\\Movies\\Show\\show.exe");
  EXPECT_EQ(files.begin()->second, "exe");
}

} // namespace
} // namespace pqtest
