#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <optional>

#include "support/installer_fixture.h"
#include "system/file_removal.h"

namespace pqtest {
namespace {

using Extraction = InstallerTest;

const char* const kLibrary = "C:\\WINDOWS\\impborl.dll";
const char* const kLib1 = "C:\\WINDOWS\\lib1.dll";
const char* const kLib2 = "C:\\WINDOWS\\lib2.dll";

std::string withTable(const std::function<void(TInstallFileInfo*)>& edit,
                      std::vector<ImageEntry> entries = screenSaverEntries()) {
  return buildInstallerImage(entries, edit);
}

TEST_F(Extraction, EveryEntryLandsAtItsDestinationInScreenSaverMode) {
  startScreenSaver();
  const std::vector<ImageEntry> entries = screenSaverEntries();
  std::vector<std::pair<int, std::string>> progress;
  sim.onProcessMessages = [&] { progress.emplace_back(form.progressBar.position, form.statusLabel.caption); };

  EXPECT_EQ(form.installFiles(pathTempFile), 0);
  EXPECT_EQ(installed(kLibrary), entries[0].contents);
  EXPECT_EQ(installed(kSaver), entries[1].contents);
  EXPECT_EQ(installed(kData), entries[2].contents);
  EXPECT_EQ(installed(kLib1), entries[3].contents);
  EXPECT_EQ(installed(kLib2), entries[4].contents);
  EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\impborl.dat"));
  EXPECT_TRUE(sim.errorDialogs.empty());
  const std::vector<std::pair<int, std::string>> expected = {
      {1, kLibrary}, {2, kSaver}, {3, kData}, {4, kLib1}, {5, kLib2}};
  EXPECT_EQ(progress, expected);
  // The library is loaded once per compressed entry and given back each time.
  EXPECT_EQ(sim.libraryLoads, 3);
  EXPECT_EQ(sim.libraryFrees, 3);
}

TEST_F(Extraction, MovieFilesGoNextToTheInstallerAndLibrariesToTheWindowsDirectory) {
  startMovie();
  const std::vector<ImageEntry> entries = movieEntries();
  EXPECT_EQ(form.installFiles(pathTempFile), 0);
  EXPECT_EQ(installed("C:\\Setup\\Show.exe"), entries[1].contents);
  EXPECT_EQ(installed("C:\\Setup\\Show.ssd"), entries[2].contents);
  EXPECT_EQ(installed(kLibrary), entries[0].contents);
  EXPECT_EQ(installed(kLib1), entries[3].contents);
  EXPECT_FALSE(sim.fileExistsAt("C:\\WINDOWS\\Show.exe"));
  EXPECT_FALSE(sim.fileExistsAt("C:\\Setup\\lib1.dll"));
}

TEST_F(Extraction, ALibraryNameWithoutExtensionGetsDllAppended) {
  std::vector<ImageEntry> entries = screenSaverEntries();
  entries[3].name = "helper";
  start(buildInstallerImage(entries));
  EXPECT_EQ(form.installFiles(pathTempFile), 0);
  EXPECT_EQ(installed("C:\\WINDOWS\\helper.dll"), entries[3].contents);
}

// A new file is written under the first partial name nobody uses and moved into place: no
// file that is already there, at the destination or a partial name, is ever opened.
TEST_F(Extraction, ExistingFilesAreReplacedNotAppendedEvenWhenReadOnly) {
  startScreenSaver();
  sim.putFile(kData, std::string(10000, 'x'));
  sim.setReadOnly(kData, true);
  sim.putFile(kSaver, std::string(20000, 'y'));
  sim.putFile("C:\\WINDOWS\\PanoquillPartial1.tmp", "someone else's");
  EXPECT_EQ(form.installFiles(pathTempFile), 0);
  EXPECT_EQ(installed(kData), screenSaverEntries()[2].contents);
  EXPECT_EQ(installed(kSaver), screenSaverEntries()[1].contents);
  EXPECT_EQ(installed("C:\\WINDOWS\\PanoquillPartial1.tmp"), "someone else's");
  for (const std::string& call : sim.callLog) EXPECT_EQ(call.rfind("openFile C:\\WINDOWS\\Sunset", 0), std::string::npos);
}

TEST_F(Extraction, ABusyLibraryIsKeptSilentlyAfterOneAttempt) {
  startScreenSaver();
  sim.putFile(kLib1, "old library");
  sim.lockFile(kLib1);
  EXPECT_EQ(form.installFiles(pathTempFile), 0);
  EXPECT_TRUE(sim.errorDialogs.empty());
  EXPECT_EQ(installed(kLib1), "old library");
  EXPECT_EQ(installed(kLib2), screenSaverEntries()[4].contents);
  // One attempt: delete, reset the attributes, delete again.
  EXPECT_EQ(std::count(sim.callLog.begin(), sim.callLog.end(), std::string("deleteFile ") + kLib1), 2);
}

TEST_F(Extraction, ABusyDataFileIsReportedOnceAfterEveryAttemptAndSkipped) {
  startScreenSaver();
  sim.putFile(kData, "old data");
  sim.lockFile(kData);
  EXPECT_EQ(form.installFiles(pathTempFile), 0);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(kErr_FileBusy, kData)});
  EXPECT_EQ(installed(kData), "old data");
  EXPECT_EQ(installed(kLib1), screenSaverEntries()[3].contents);
  EXPECT_EQ(std::count(sim.callLog.begin(), sim.callLog.end(), std::string("deleteFile ") + kData),
            2 * kBusyFileAttempts);
}

TEST_F(Extraction, AnUpperCaseDllNameTakesThePatientRoute) {
  std::vector<ImageEntry> entries = screenSaverEntries();
  entries[2].name = "Helper.DLL";
  start(buildInstallerImage(entries));
  sim.putFile("C:\\WINDOWS\\Helper.DLL", "busy");
  sim.lockFile("C:\\WINDOWS\\Helper.DLL");
  EXPECT_EQ(form.installFiles(pathTempFile), 0);
  EXPECT_EQ(sim.errorDialogs,
            std::vector<std::string>{installErrorMessage(kErr_FileBusy, "C:\\WINDOWS\\Helper.DLL")});
}

TEST_F(Extraction, ABusySaverStopsExtractionWithoutASecondMessage) {
  startScreenSaver();
  sim.putFile(kSaver, "old saver");
  sim.lockFile(kSaver);
  EXPECT_EQ(form.installFiles(pathTempFile), kErr_SaverBusy);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(kErr_SaverBusy, kSaver)});
  EXPECT_EQ(installed(kSaver), "old saver");
  EXPECT_FALSE(sim.fileExistsAt(kData));
  EXPECT_EQ(form.progressBar.position, 2);
}

TEST_F(Extraction, AnEmptyRangeFailsWithNoBufferAfterTheOldFileIsRemoved) {
  start(withTable([](TInstallFileInfo* table) { table[3].stopOffset = table[3].startOffset - 1; }));
  sim.putFile(kData, "old data");
  EXPECT_EQ(form.installFiles(pathTempFile), kErr_NoBuffer);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{"Installation Error: Problem using C:\\WINDOWS\\Sunset.ssd. \r\n\r\n"});
  EXPECT_FALSE(sim.fileExistsAt(kData));
  // The entries before the failing one stay; the ones after it are not touched.
  expectFiles({{kLibrary, true}, {kSaver, true}, {kLib1, false}, {kLib2, false}});
  EXPECT_EQ(form.progressBar.position, 3);
  EXPECT_EQ(form.statusLabel.caption, kData);
}

TEST_F(Extraction, AStoredRangePastTheEndOfTheCopyFailsWithoutCreatingTheFile) {
  start(withTable([](TInstallFileInfo* table) { table[5].stopOffset += 1; }));
  sim.putFile(kLib2, "old library");
  EXPECT_EQ(form.installFiles(pathTempFile), kErr_ShortTransfer);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(kErr_ShortTransfer, kLib2)});
  EXPECT_FALSE(sim.fileExistsAt(kLib2));
}

// A range that starts before the file is refused by the system when the copy is positioned:
// nothing is removed, allocated or read for it.
TEST_F(Extraction, ANegativeStartOffsetFailsAtThePositioning) {
  start(withTable([](TInstallFileInfo* table) {
    table[3].startOffset = -10;
    table[3].stopOffset = 20;
  }));
  sim.putFile(kData, "old data");
  EXPECT_EQ(form.installFiles(pathTempFile), static_cast<TResult>(pq::kWinErrorNegativeSeek));
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(pq::kWinErrorNegativeSeek, kData)});
  EXPECT_EQ(installed(kData), "old data");
}

// Offsets and sizes are signed 32-bit values: the largest copy the format allows ends at
// byte 2^31 - 2, and a range must neither wrap nor turn negative on the way there. The copy
// is grown sparse, so only the bytes written take room on the disk.
TEST_F(Extraction, RangesAtTheEdgeOfSigned32BitOffsetsInTheLargestCopy) {
  const std::vector<ImageEntry> entries = screenSaverEntries();
  startScreenSaver();
  const TInstallFileInfo asBuilt = installerDirectory.entries[3];
  const std::optional<std::filesystem::path> copy = sim.hostPath(kTempCopyPath);
  ASSERT_TRUE(copy.has_value());
  constexpr int32_t kLastByte = 0x7FFFFFFE;
  std::filesystem::resize_file(*copy, uint64_t{kLastByte} + 1);
  const std::string& data = entries[2].contents;
  const int32_t dataStart = kLastByte - static_cast<int32_t>(data.size()) + 1;
  {
    std::fstream file(*copy, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(dataStart);
    file.write(data.data(), static_cast<std::streamsize>(data.size()));
    ASSERT_TRUE(file.good());
  }
  struct Case {
    const char* label;
    int32_t start;
    int32_t stop;
    TResult expected;
  };
  const Case cases[] = {
      {"the last bytes a file may hold", dataStart, kLastByte, 0},
      {"one byte past the largest file", dataStart, kLastByte + 1, kErr_ShortTransfer},
      {"2 GiB, which reads as a negative size", 0, INT32_MAX, kErr_NoBuffer},
      {"a negative start with a positive size", INT32_MIN, -2, static_cast<TResult>(pq::kWinErrorNegativeSeek)},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.label);
    sim.errorDialogs.clear();
    installerDirectory.entries[3] = asBuilt;
    installerDirectory.entries[3].startOffset = row.start;
    installerDirectory.entries[3].stopOffset = row.stop;
    EXPECT_EQ(form.installFiles(pathTempFile), row.expected);
    EXPECT_EQ(installed(kData), row.expected == 0 ? data : "<missing>");
    const std::vector<std::string> shown = {installErrorMessage(row.expected, kData)};
    EXPECT_EQ(sim.errorDialogs, row.expected == 0 ? std::vector<std::string>{} : shown);
  }
}

// The compressor, and with it the library, comes before the read: an entry running past the
// end of the copy meets a missing library's warning first, then fails as short.
TEST_F(Extraction, ACompressedRangePastTheEndFailsShortAfterTheLibraryIsLoaded) {
  start(withTable([](TInstallFileInfo* table) { table[2].stopOffset = table[5].stopOffset + 100; }));
  sim.failLibraryLoads(pq::kWinErrorBadExeFormat);
  EXPECT_EQ(form.installFiles(pathTempFile), kErr_ShortTransfer);
  ASSERT_EQ(sim.errorDialogs.size(), 2u);
  EXPECT_EQ(sim.errorDialogs[0].rfind("System Error: System experiencing problem using compression library.", 0), 0u);
  EXPECT_EQ(sim.errorDialogs[1], installErrorMessage(kErr_ShortTransfer, kSaver));
  EXPECT_FALSE(sim.fileExistsAt(kSaver));
}

TEST_F(Extraction, AWrongExpandedSizeFailsAndTheFileIsRemoved) {
  start(withTable([](TInstallFileInfo* table) { table[2].unzippedSize += 1; }));
  EXPECT_EQ(form.installFiles(pathTempFile), kErr_SizeMismatch);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(kErr_SizeMismatch, kSaver)});
  EXPECT_FALSE(sim.fileExistsAt(kSaver));
  EXPECT_FALSE(sim.fileExistsAt(kData));
}

TEST_F(Extraction, ATruncatedStreamLeavesNoPartialFile) {
  const std::vector<ImageEntry> entries = screenSaverEntries();
  // Cut entry 5's stream short but keep the table consistent with the file's end.
  int32_t cut = 0;
  std::string image = buildInstallerImage(entries, [&cut](TInstallFileInfo* table) {
    cut = storedSize(table[5]) / 2;
    table[5].stopOffset -= cut;
  });
  image.resize(image.size() - cut);
  start(image);

  EXPECT_EQ(form.installFiles(pathTempFile), kErr_SizeMismatch);
  EXPECT_FALSE(sim.fileExistsAt(kLib2));
  EXPECT_EQ(installed(kLib1), entries[3].contents);
}

TEST_F(Extraction, WithoutALoadableLibraryTheExpandedFileIsEmptyAndRemoved) {
  startScreenSaver();
  sim.failLibraryLoads(pq::kWinErrorBadExeFormat);
  EXPECT_EQ(form.installFiles(pathTempFile), kErr_SizeMismatch);
  ASSERT_EQ(sim.errorDialogs.size(), 2u);
  EXPECT_EQ(sim.errorDialogs[0].rfind("System Error: System experiencing problem using compression library.", 0), 0u);
  EXPECT_EQ(sim.errorDialogs[1], installErrorMessage(kErr_SizeMismatch, kSaver));
  EXPECT_FALSE(sim.fileExistsAt(kSaver));
}

// A call that fails during extraction ends it with the failure's code, shown once for the path
// concerned (after the compression binding's own message where the binding met it), and
// leaves nothing under the destination's name, nor a partial file. Each new file is written as
// C:\WINDOWS\PanoquillPartial1.tmp; `skip` picks the entry's call (the saver is the second).
TEST_F(Extraction, AFailingCallEndsExtractionWithItsCodeShownOnce) {
  const char* const partial = "C:\\WINDOWS\\PanoquillPartial1.tmp";
  const char* const zipError = "Zip Error: Problem expanding file in memory.\r\n\r\n";
  const struct {
    const char *call, *argument;
    int skip;
    uint32_t error;
    TResult code;
    const char *shownFor, *bindingMessage; // bindingMessage null: none
  } cases[] = {
      {"openFile", partial, 1, pq::kWinErrorAccessDenied, kErr_FileNotFound, kSaver, zipError},
      {"openFile", partial, 2, pq::kWinErrorDiskFull, 112, kData, nullptr},
      {"write", partial, 3, pq::kWinErrorDiskFull, 112, kData, nullptr},
      {"close", partial, 2, pq::kWinErrorDiskFull, 112, kData, nullptr},
      {"moveFileEx", "Sunset.ssd", 0, pq::kWinErrorAccessDenied, 5, kData, nullptr},
      {"openFile", "KWRXtemp1.dat", 0, pq::kWinErrorSharingViolation, 32, kTempCopyPath, nullptr},
      {"read", "KWRXtemp1.dat", 0, pq::kWinErrorAccessDenied, 5, kLibrary, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " " + c.argument + " " + std::to_string(c.skip));
    sim.errorDialogs.clear();
    sim.clearFailures();
    for (const char* path : {kLibrary, kSaver, kData}) sim.deleteFile(path);
    const auto run = startAnother(buildInstallerImage(screenSaverEntries()));
    sim.failCall(c.call, c.error, c.argument, c.skip);
    EXPECT_EQ(run->installFiles(pathTempFile), c.code);
    std::vector<std::string> dialogs = sim.errorDialogs;
    if (c.bindingMessage != nullptr) {
      ASSERT_EQ(dialogs.size(), 2u);
      EXPECT_EQ(dialogs[0].rfind(c.bindingMessage, 0), 0u);
      dialogs.erase(dialogs.begin());
    }
    EXPECT_EQ(dialogs, std::vector<std::string>{installErrorMessage(c.code, c.shownFor)});
    if (c.code > 0) {
      EXPECT_FALSE(systemErrorText(c.code).empty());
      EXPECT_NE(dialogs[0].find(systemErrorText(c.code)), std::string::npos);
    }
    const bool fromTheCopy = std::string(c.shownFor) == kTempCopyPath;
    EXPECT_FALSE(sim.fileExistsAt(fromTheCopy ? kLibrary : c.shownFor));
    EXPECT_FALSE(sim.fileExistsAt(partial));
    run->Close();
  }
}

// A kind the format does not define has no destination: nothing may be written or removed
// for it, and the installer is reported as damaged.
TEST_F(Extraction, AnUndefinedKindWritesNowhereAndReportsTheInstallerDamaged) {
  start(withTable([](TInstallFileInfo* table) { table[4].fileType = 7; }));
  EXPECT_EQ(form.installFiles(pathTempFile), kErr_ShortTransfer);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(kErr_InstallerCorrupted, kInstallerPath)});
  expectFiles({{kLib1, false}, {kLib2, false}, {"C:\\WINDOWS\\lib1.dat", false}});
  for (const std::string& call : sim.callLog) {
    EXPECT_NE(call, "deleteFile ");
    EXPECT_NE(call, "findFirstFile ");
  }
  EXPECT_EQ(form.progressBar.position, 4);
}

} // namespace
} // namespace pqtest
