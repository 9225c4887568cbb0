// The support trace of whole runs, read back from the log file beside the temporary copy:
// which operations a screen-saver installation passes through, in which order, with which
// results, and the extra lines support reads to see where a run went wrong.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "errors/logFile.h"
#include "support/installer_fixture.h"

namespace pqtest {
namespace {

const char* const kLogPath = "C:\\WINDOWS\\KWRXtemp1.log";

class TraceLog : public InstallerTest {
protected:
  // The log outlives a run (it is the process's), so each test starts with a new one, and
  // lets go of its file before this test's simulated Windows goes away.
  TraceLog() { logReset(); }
  ~TraceLog() override { logReset(); }

  // The log's lines without their indentation, once the window has closed.
  std::vector<std::string> closeAndReadLog() {
    form.butDoneClick(nullptr);
    const auto contents = sim.fileContents(kLogPath);
    EXPECT_TRUE(contents.has_value()) << "no log at " << kLogPath;
    std::vector<std::string> lines;
    std::istringstream in(contents.value_or(""));
    std::string line;
    while (std::getline(in, line)) {
      EXPECT_FALSE(line.empty() || line.back() != '\r') << "lines end in CR LF: " << line;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      indents.push_back(line.find_first_not_of(' '));
      lines.push_back(line.substr(indents.back()));
    }
    return lines;
  }

  // The entry and exit lines, in order ("> name argument", "< name result").
  static std::vector<std::string> operationLines(const std::vector<std::string>& lines) {
    std::vector<std::string> operations;
    for (const std::string& line : lines) {
      if (line.rfind("> ", 0) == 0 || line.rfind("< ", 0) == 0) operations.push_back(line);
    }
    return operations;
  }

  // Fails unless `expected` appears in `lines` in this order (other lines may come between).
  static void expectInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected) {
    size_t next = 0;
    for (const std::string& line : lines) {
      if (next < expected.size() && line == expected[next]) ++next;
    }
    ASSERT_EQ(next, expected.size()) << "missing or out of order: \"" << expected[std::min(next, expected.size() - 1)]
                                     << "\"";
  }

  std::vector<size_t> indents;
};

TEST_F(TraceLog, ASuccessfulSaverInstallationTracesEachOperationInTheOrderItRuns) {
  startScreenSaver();
  form.butInstallClick(nullptr);
  const std::vector<std::string> lines = closeAndReadLog();

  // Entries 1, 3 are stored; 2, 4 and 5 are expanded through the library.
  expectInOrder(operationLines(lines),
                {"> FormCreate",
                 "> initInstallerPaths",
                 "< initInstallerPaths",
                 "> openInstallerArchive C:\\Setup\\Setup.exe",
                 "> myDeleteFile_WaitUntilNotBusy C:\\WINDOWS\\KWRXtemp1.dat",
                 "< myDeleteFile_WaitUntilNotBusy 0",
                 "< openInstallerArchive 0",
                 "< FormCreate",
                 "> butInstallClick",
                 "> setCursorToWaitCursor",
                 "< setCursorToWaitCursor",
                 "> initInstallerProgressBarInfo",
                 "< initInstallerProgressBarInfo",
                 "> doInstallSaver",
                 "> closeDisplayControlPanel",
                 "< closeDisplayControlPanel",
                 "> deactivateSaver C:\\WINDOWS\\Sunset.scr",
                 "< deactivateSaver",
                 "> installFiles C:\\WINDOWS\\KWRXtemp1.dat",
                 "> extractFile 1",
                 "> myDeleteFile C:\\WINDOWS\\impborl.dll",
                 "< myDeleteFile 0",
                 "< extractFile 0",
                 "> extractFile 2",
                 "> myDeleteFile_WaitUntilNotBusy C:\\WINDOWS\\Sunset.scr",
                 "< myDeleteFile_WaitUntilNotBusy 0",
                 "> TCompressor.Create",
                 "< TCompressor.Create",
                 "> expandToFile C:\\WINDOWS\\PanoquillPartial1.tmp",
                 "< expandToFile 0",
                 "< extractFile 0",
                 "> extractFile 3",
                 "< extractFile 0",
                 "> extractFile 4",
                 "> expandToFile C:\\WINDOWS\\PanoquillPartial1.tmp",
                 "< extractFile 0",
                 "> extractFile 5",
                 "> expandToFile C:\\WINDOWS\\PanoquillPartial1.tmp",
                 "< extractFile 0",
                 "< installFiles 0",
                 "> readRequiredQuickTimeLevel C:\\WINDOWS\\Sunset.ssd",
                 "< readRequiredQuickTimeLevel 0",
                 "> updateStatusBar Updating system parameters...",
                 "< updateStatusBar",
                 "> makeActiveSaver C:\\WINDOWS\\Sunset.scr",
                 "< makeActiveSaver 0",
                 "> createUninstallKey C:\\WINDOWS\\Sunset.scr",
                 "< createUninstallKey 0",
                 "< installSaverFromBuilder 0",
                 "> setFinalInstallerProgressBarInfo 0",
                 "< setFinalInstallerProgressBarInfo",
                 "> resetCursor",
                 "< resetCursor",
                 "> showCompletionPrompt 4",
                 "< showCompletionPrompt",
                 "< butInstallClick",
                 "> butDoneClick",
                 "> FormClose C:\\WINDOWS\\KWRXtemp1.dat",
                 "> myDeleteFile C:\\WINDOWS\\KWRXtemp1.dat",
                 "< myDeleteFile 0",
                 "< FormClose"});

  // A level of 0 asks for no QuickTime, and nothing failed: nothing checked, nothing shown,
  // nothing rolled back.
  for (const char* absent : {"> checkQuickTime", "> showErrorDialog", "> doQuietUninstall"}) {
    for (const std::string& line : lines) EXPECT_NE(line.rfind(absent, 0), 0u) << line;
  }
}

TEST_F(TraceLog, EveryOperationClosesAtTheDepthItOpenedIn) {
  startScreenSaver();
  form.butInstallClick(nullptr);
  const std::vector<std::string> lines = closeAndReadLog();

  // An exit line names its operation, except the saver installation's, which reports its
  // result under the builder's name.
  std::vector<std::string> open;
  std::vector<size_t> openIndents;
  for (size_t index = 0; index < lines.size(); ++index) {
    const std::string& line = lines[index];
    if (line.rfind("> ", 0) == 0) {
      std::string name = line.substr(2, line.find(' ', 2) - 2);
      open.push_back(name == "doInstallSaver" ? "installSaverFromBuilder" : name);
      openIndents.push_back(indents[index]);
      EXPECT_EQ(indents[index], 2 * (open.size() - 1)) << line;
    } else if (line.rfind("< ", 0) == 0) {
      ASSERT_FALSE(open.empty()) << "exit without entry: " << line;
      EXPECT_EQ(line.substr(2, line.find(' ', 2) - 2), open.back());
      EXPECT_EQ(indents[index], openIndents.back()) << line;
      open.pop_back();
      openIndents.pop_back();
    } else {
      EXPECT_EQ(indents[index], 2 * open.size()) << "an extra line sits inside its operation: " << line;
    }
  }
  // butDoneClick is still open when the log closes under it.
  EXPECT_EQ(open, std::vector<std::string>{"butDoneClick"});
}

TEST_F(TraceLog, StartUpAndExtractionAddTheLinesSupportReads) {
  startScreenSaver();
  form.butInstallClick(nullptr);
  const std::vector<std::string> lines = closeAndReadLog();
  const TInstallFileInfo& first = installerDirectory.entries[1];
  const TInstallFileInfo& second = installerDirectory.entries[2];

  expectInOrder(lines, {"> FormCreate",
                        "pathSYS " + pathSYS,
                        "pathWindows C:\\WINDOWS\\",
                        "pathInstaller C:\\Setup\\Setup.exe",
                        "pathTempFile C:\\WINDOWS\\KWRXtemp1.dat",
                        "pathInstaller: C:\\Setup\\Setup.exe",
                        "bytesToRead: 1680",
                        "bytesRead: 1680",
                        "mainFileName := Sunset.scr",
                        "working on... 1 impborl.dat",
                        "seeking to... " + std::to_string(first.startOffset),
                        "begin extracting C:\\WINDOWS\\impborl.dll",
                        "C:\\WINDOWS\\impborl.dll deleted",
                        "extracting non-compressed file",
                        "working on... 2 Sunset.scr",
                        "seeking to... " + std::to_string(second.startOffset),
                        "begin extracting C:\\WINDOWS\\Sunset.scr",
                        "C:\\WINDOWS\\Sunset.scr deleted",
                        "unZipping file"});
}

TEST_F(TraceLog, AnExpandedSizeThatDiffersFromTheDirectoryIsTracedWithBothSizes) {
  std::vector<ImageEntry> entries = screenSaverEntries();
  const int32_t realSize = static_cast<int32_t>(entries[1].contents.size());
  start(buildInstallerImage(entries, [](TInstallFileInfo* table) { table[2].unzippedSize += 10; }));
  form.butInstallClick(nullptr);
  const std::vector<std::string> lines = closeAndReadLog();

  expectInOrder(lines, {"> extractFile 2", "unZipping file",
                        "Error: unzippedSize = " + std::to_string(realSize + 10) +
                            ", TSR.size = " + std::to_string(realSize),
                        "< extractFile -13", "< installFiles -13", "> doQuietUninstall C:\\WINDOWS\\Sunset.scr",
                        "< installSaverFromBuilder -13", "> setFinalInstallerProgressBarInfo -13"});
}

TEST_F(TraceLog, AMissingTemporaryCopyIsTracedInsideInstallFiles) {
  startScreenSaver();
  // The running installer holds its copy: only the system can lose it.
  sim.failCall("openFile", pq::kWinErrorFileNotFound, "KWRXtemp1.dat");
  form.butInstallClick(nullptr);
  const std::vector<std::string> lines = closeAndReadLog();

  expectInOrder(lines, {"> installFiles C:\\WINDOWS\\KWRXtemp1.dat", "> showInstallError 2 C:\\WINDOWS\\KWRXtemp1.dat",
                        "< showInstallError", "inside installFiles", "TFileStream.Create failed.", "< installFiles 2"});
}

TEST_F(TraceLog, AMovieInstallationReportsUnderItsOwnName) {
  startMovie();
  form.butInstallClick(nullptr);
  const std::vector<std::string> lines = closeAndReadLog();

  expectInOrder(operationLines(lines), {"> butInstallClick", "> installMovieFromInstaller", "> installFiles C:\\WINDOWS\\KWRXtemp1.dat",
                                        "< installFiles 0", "< installMovieFromInstaller 0", "> showCompletionPrompt 5"});
}

} // namespace
} // namespace pqtest
