// Every call the installer makes to the system, failed once with each error it tells apart.
//
// A successful run is recorded first (start-up, Install answered No, Un-Install, Close), for a
// screen saver and for a movie, and a screen-saver run whose activation the system refuses, so
// that the quiet rollback's own calls are in a recording too. Then, for each recorded call and
// each error that call can meet, the same run is repeated with just that call failing once:
// the failure skips exactly the earlier calls of the same name and path, so it lands on the
// recorded call and no other. New calls in the installer become new cases by themselves.
//
// What every case must show:
// - Dialogs: at most one error dialog in the whole run, because one failing call is one failing
//   operation and every operation reports its own failure at most once, while callers only pass
//   the code on. Two exceptions, both where the compression binding reports its own failure and
//   extraction then judges the file it left: a library that cannot be loaded (the binding's
//   warning, then the empty file's wrong size, -13) and an expanded file that cannot be created
//   or flushed (the binding's "Zip Error" text, then no file, -16). A new file that cannot be
//   created, written, flushed, closed or moved into place gets exactly the installation error
//   with the system's error number and its destination (-13 for a failed write into an expanded
//   file). The uninstall action shows none.
// - The action lock: when it cannot be had, the action shows the one "another installation
//   is running" dialog and changes nothing; start-up, which takes it only to clear partial
//   files, goes on without a word.
// - Window texts: start-up that failed leaves both actions disabled and the run shows exactly
//   its one report; otherwise the install ends in "Installation Successful." (prompt shown,
//   detail hidden for a saver, "Movie installed as: " for a movie) or "Installation Failed."
//   with "Cannot activate screen saver." when the system refused the saver and "File may be
//   corrupted." for every other failure, and no prompt.
// - Files: every entry destination that exists holds exactly the entry's file (so never a size
//   other than its unzippedSize), after the install and at the end; no partial file is left.
// - Screen-saver rollback: after a failed install neither the saver, nor its data file, nor the
//   uninstall entry is left, unless the failing call belongs to the rollback itself.
// - Un-Install always ends "Un-Installation Complete."; the temporary copy is gone after Close
//   unless the failure was reported for it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "compression/compressor.h"
#include "errors/messages.h"
#include "installer/fInstall.h"
#include "platform/sim/sim_os.h"
#include "platform/win_path.h"
#include "support/installer_fixture.h"

namespace pqtest {
namespace {

const char* const kLibraryWarning =
    "System experiencing problem using compression library. Application will attempt to continue with compression "
    "disabled.";

struct Scenario {
  const char* name;
  InstallMode mode;
  bool refuseActivation; // the system refuses to switch savers on: the install fails -25
};

// One call made to fail once.
struct Failure {
  std::string call, argument;
  uint32_t error = 0;
  int skip = 0;
  size_t recordedIndex = 0;
};

// What a run leaves to look at.
struct Observation {
  std::vector<std::string> callLog;
  size_t startupEnd = 0, installEnd = 0, uninstallEnd = 0;
  bool unusable = false;
  std::vector<std::string> dialogs;
  size_t dialogsAfterInstall = 0;
  std::string status, detail;
  bool detailVisible = false;
  size_t prompts = 0;
  std::map<std::string, std::optional<std::string>> destinationsAfterInstall, destinationsAtEnd;
  bool saverAfterInstall = false, dataFileAfterInstall = false, keyAfterInstall = false;
  std::optional<std::string> currentSaver;
  std::string statusAfterUninstall;
  bool copyLeft = false;
  bool partialLeft = false;
};

// The calls the installer cannot meet failing: the directory and executable path queries and
// the clock reads answer from the process's own state, and are not in any failure table.
bool canFail(const std::string& call) {
  return call != "windowsDirectory" && call != "systemDirectory" && call != "executablePath" &&
         call != "systemTimeAsFileTime" && call != "tickCount64";
}

// The errors a call can meet, among file not found, access denied, sharing violation and a
// full disk; file calls also fail without an error number, which must never read as success.
std::vector<uint32_t> errorsFor(const std::string& call, const std::string& argument) {
  const uint32_t notFound = pq::kWinErrorFileNotFound, denied = pq::kWinErrorAccessDenied,
                 sharing = pq::kWinErrorSharingViolation, full = pq::kWinErrorDiskFull, none = 0;
  const bool registry = argument.rfind("SOFTWARE\\", 0) == 0;
  if (call == "copyFile" || call == "openFile" || call == "openLockFile") return {notFound, denied, sharing, full, none};
  if (call == "deleteFile") return {notFound, denied, sharing};
  if (call == "read") return {denied, sharing, none};
  if (call == "write" || call == "flush") return {denied, full, none};
  if (call == "moveFileEx") return {notFound, denied, sharing, full, none};
  if (call == "writePrivateProfileString") return {denied, full};
  if (call == "close") return registry ? std::vector<uint32_t>{denied} : std::vector<uint32_t>{denied, full, none};
  if (call == "seek" || call == "size") return {denied, none};
  if (call == "findFirstFile" || call == "findFiles" || call == "setFileAttributes" || call == "shortPathName" ||
      call == "getPrivateProfileString" || call == "loadLibrary" || call.rfind("reg", 0) == 0 ||
      call == "setString" || call == "deleteValue" || call == "subkeyCount" || call == "enumerateSubkey")
    return {notFound, denied};
  return {denied}; // symbol, setScreenSaveActive and the window calls
}

std::string callName(const std::string& line) { return line.substr(0, line.find(' ')); }
std::string callArgument(const std::string& line) {
  const size_t space = line.find(' ');
  return space == std::string::npos ? std::string() : line.substr(space + 1);
}

bool containsCaseBlind(const std::string& text, const std::string& part) {
  return pq::asciiLower(text).find(pq::asciiLower(part)) != std::string::npos;
}

class FaultMatrix : public ::testing::Test {
protected:
  FaultMatrix()
      : textRoot(std::filesystem::temp_directory_path() / ("pq_fault_texts_" + std::to_string(::getpid()))),
        textSim(textRoot), textScope(textSim) {
    saverInstaller = packInstaller(smallEntries("Sunset.scr"));
    movieInstaller = packInstaller(smallEntries("Show.exe"));
  }

  const PackedInstaller& installerOf(InstallMode mode) const {
    return mode == InstallMode::ScreenSaver ? saverInstaller : movieInstaller;
  }

  std::map<std::string, std::optional<std::string>> destinations(pq::SimOs& sim, InstallMode mode) const {
    std::map<std::string, std::optional<std::string>> found;
    for (const ImageEntry& entry : installerOf(mode).entries) {
      const std::string path = destinationOf(entry, mode);
      found[path] = sim.fileExistsAt(path) ? sim.fileContents(path) : std::nullopt;
    }
    return found;
  }

  // Start-up, Install (No to the prompt), Un-Install when asked, Close, on a machine of its own.
  Observation run(const Scenario& scenario, const std::optional<Failure>& failure, bool withUninstall) {
    Observation seen;
    {
      MachineOfItsOwn machine("fault_" + std::to_string(runs++), installerOf(scenario.mode).bytes);
      pq::SimOs& sim = machine.sim;
      sim.refuseScreenSaveActive(scenario.refuseActivation);
      if (failure) sim.failCall(failure->call, failure->error, failure->argument, failure->skip, 1);

      TForm1 form;
      form.FormCreate(nullptr);
      seen.startupEnd = sim.callLog.size();
      seen.unusable = !form.butInstall.enabled;

      form.butInstallClick(nullptr);
      seen.installEnd = sim.callLog.size();
      seen.dialogsAfterInstall = sim.errorDialogs.size();
      seen.status = form.statusLabel.caption;
      seen.detail = form.labStatus.caption;
      seen.detailVisible = form.labStatus.visible;
      seen.prompts = sim.messageBoxes.size();
      seen.destinationsAfterInstall = destinations(sim, scenario.mode);
      seen.saverAfterInstall = sim.fileExistsAt("C:\\WINDOWS\\Sunset.scr");
      seen.dataFileAfterInstall = sim.fileExistsAt("C:\\WINDOWS\\Sunset.ssd");
      seen.keyAfterInstall = sim.registryKeyExists(kUninstallKey);
      seen.currentSaver = sim.profileValue("system.ini", "boot", "SCRNSAVE.EXE");

      if (withUninstall) {
        form.butUnInstallClick(nullptr);
        seen.statusAfterUninstall = form.statusLabel.caption;
      }
      seen.uninstallEnd = sim.callLog.size();

      form.Close();
      seen.copyLeft = sim.fileExistsAt(kTempCopyPath);
      seen.partialLeft = sim.fileExistsAt("C:\\WINDOWS\\PanoquillPartial1.tmp") ||
                         sim.fileExistsAt("C:\\Setup\\PanoquillPartial1.tmp");
      seen.destinationsAtEnd = destinations(sim, scenario.mode);
      seen.dialogs = sim.errorDialogs;
      seen.callLog = sim.callLog;
    }
    return seen;
  }

  // The cases of one recording: every call that can fail, with every error it can meet, in
  // the index range [first, last).
  std::vector<Failure> casesFrom(const Observation& recording, size_t first, size_t last) {
    std::vector<Failure> cases;
    for (size_t index = first; index < last; ++index) {
      const std::string call = callName(recording.callLog[index]);
      const std::string argument = callArgument(recording.callLog[index]);
      if (!canFail(call)) continue;
      int skip = 0;
      for (size_t earlier = 0; earlier < index; ++earlier) {
        if (callName(recording.callLog[earlier]) == call &&
            containsCaseBlind(callArgument(recording.callLog[earlier]), argument))
          ++skip;
      }
      for (uint32_t error : errorsFor(call, argument)) cases.push_back(Failure{call, argument, error, skip, index});
    }
    return cases;
  }

  // The destination that the next file moved into place after the recorded call `index` lands
  // at: the one whose new file that call writes, or whose library load or expansion it is.
  static std::string destinationMovedAfter(const Observation& recording, size_t index) {
    for (size_t next = index; next < recording.callLog.size(); ++next) {
      if (callName(recording.callLog[next]) != "moveFileEx") continue;
      const std::string paths = callArgument(recording.callLog[next]);
      return paths.substr(paths.find(' ') + 1);
    }
    return std::string();
  }

  // The destination whose new file the failing call creates, writes, flushes, closes or moves
  // into place; empty for any other call.
  static std::string destinationWrittenBy(const Observation& recording, const Failure& failure) {
    const bool onPartialFile = containsCaseBlind(failure.argument, "PanoquillPartial") &&
                               (failure.call == "openFile" || failure.call == "write" || failure.call == "flush" ||
                                failure.call == "close");
    if (!onPartialFile && failure.call != "moveFileEx") return std::string();
    return destinationMovedAfter(recording, failure.recordedIndex);
  }

  // The entry whose destination is `path` in this mode, if any.
  const TInstallFileInfo* entryAt(InstallMode mode, const std::string& path) const {
    const auto& directory = installerOf(mode).directory;
    for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
      if (pq::asciiLower(destinationOf(directory[index], mode)) == pq::asciiLower(path)) return &directory[index];
    }
    return nullptr;
  }

  // The lookup found no copy when close went to remove it: the removal counts a lookup that
  // fails as no file, and the copy stays without a word.
  static bool copyLookupLied(const Failure& failure) {
    return failure.call == "findFirstFile" && pq::asciiLower(failure.argument) == pq::asciiLower(kTempCopyPath);
  }

  void expectOutcome(const Scenario& scenario, const Observation& recording, const Failure& failure,
                     const Observation& seen, bool failureInRollback) {
    // The failure landed on the recorded call: the run is the recording up to it.
    ASSERT_GT(seen.callLog.size(), failure.recordedIndex);
    for (size_t index = 0; index <= failure.recordedIndex; ++index) {
      ASSERT_EQ(seen.callLog[index], recording.callLog[index]) << "the run left the recording at call " << index;
    }

    // The action lock that cannot be had counts as held by another installer: the action
    // says so once and changes nothing. Start-up only leaves the partial files where they are.
    const bool lockAtStartup = failure.call == "openLockFile" && failure.recordedIndex < recording.startupEnd;
    if (failure.call == "openLockFile" && !lockAtStartup) {
      EXPECT_EQ(seen.dialogs, std::vector<std::string>{installErrorMessage(kErr_ActionRunning, "")});
      if (failure.recordedIndex < recording.installEnd) {
        EXPECT_EQ(seen.status, "");
        EXPECT_EQ(seen.prompts, 0u);
        for (const auto& [path, contents] : seen.destinationsAfterInstall) EXPECT_FALSE(contents.has_value()) << path;
        EXPECT_FALSE(seen.keyAfterInstall);
        EXPECT_FALSE(seen.currentSaver.has_value());
      } else {
        EXPECT_EQ(seen.statusAfterUninstall, "Installation Successful.");
        EXPECT_EQ(seen.destinationsAtEnd, seen.destinationsAfterInstall);
      }
      EXPECT_FALSE(seen.copyLeft);
      return;
    }

    // A start-up that could not copy itself or read its table never goes on as if it had,
    // whatever error number the system gave.
    if (failure.recordedIndex < recording.startupEnd &&
        (failure.call == "copyFile" ||
         ((failure.call == "openFile" || failure.call == "seek" || failure.call == "read") &&
          containsCaseBlind(failure.argument, "KWRXtemp1.dat")))) {
      EXPECT_TRUE(seen.unusable) << "the failed start-up counted as success";
    }

    // Dialogs.
    const InstallMode mode = scenario.mode;
    const TResult reported = failureCode(failure.error);
    const std::string written = destinationWrittenBy(recording, failure);
    const TInstallFileInfo* writtenEntry = written.empty() ? nullptr : entryAt(mode, written);
    const bool expanded = writtenEntry != nullptr && writtenEntry->isZipped;
    if (lockAtStartup) {
      EXPECT_TRUE(seen.dialogs.empty());
    } else if (failure.call == "loadLibrary") {
      // The binding warns once; the entry it could not expand is then empty, so the wrong size.
      ASSERT_EQ(seen.dialogs.size(), 2u);
      EXPECT_EQ(seen.dialogs[0], systemErrorMessage(reported, kLibraryWarning));
      EXPECT_EQ(seen.dialogs[1],
                installErrorMessage(kErr_SizeMismatch, destinationMovedAfter(recording, failure.recordedIndex)));
    } else if (expanded && (failure.call == "openFile" || failure.call == "flush")) {
      // The binding cannot create or flush the expanded file and says so; extraction then
      // finds none of its own.
      ASSERT_EQ(seen.dialogs.size(), 2u);
      EXPECT_EQ(seen.dialogs[0], "Zip Error: Problem expanding file in memory.\r\n\r\n" + systemErrorText(reported));
      EXPECT_EQ(seen.dialogs[1], installErrorMessage(kErr_FileNotFound, written));
    } else if (writtenEntry != nullptr && (failure.call != "close" || !expanded)) {
      // A new file that cannot be created, written, flushed, closed or moved into place is
      // reported once, by extraction, with the system's error and its destination; a failed
      // write into an expanded file shows as its wrong size.
      const TResult code = expanded && failure.call == "write" ? kErr_SizeMismatch : reported;
      EXPECT_EQ(seen.dialogs, std::vector<std::string>{installErrorMessage(code, written)});
    } else if (const TInstallFileInfo* entry = entryAt(mode, failure.argument);
               entry != nullptr && failure.call == "openFile") {
      // The data file opened for its QuickTime level is reported in the same words.
      EXPECT_EQ(seen.dialogs, std::vector<std::string>{installErrorMessage(reported, failure.argument)});
    } else {
      EXPECT_LE(seen.dialogs.size(), 1u);
    }
    EXPECT_EQ(seen.dialogs.size(), seen.dialogsAfterInstall + (seen.copyLeft && !copyLookupLied(failure) ? 1u : 0u))
        << "only a copy that stays at close may add a dialog after the install; Un-Install shows none";

    if (seen.unusable) {
      EXPECT_EQ(seen.dialogs.size(), 1u) << "a start-up that fails reports it once";
      EXPECT_NE(seen.status, "Installation Failed.");
      EXPECT_NE(seen.status, "Installation Successful.");
      EXPECT_EQ(seen.prompts, 0u);
      for (const auto& [path, contents] : seen.destinationsAtEnd) EXPECT_FALSE(contents.has_value()) << path;
      return;
    }

    // Window texts.
    if (seen.status == "Installation Successful.") {
      EXPECT_FALSE(scenario.refuseActivation);
      EXPECT_EQ(seen.prompts, 1u);
      if (mode == InstallMode::ScreenSaver) {
        EXPECT_FALSE(seen.detailVisible);
        EXPECT_TRUE(seen.saverAfterInstall && seen.dataFileAfterInstall);
        EXPECT_TRUE(seen.currentSaver.has_value());
        if (!containsCaseBlind(failure.argument, "Uninstall")) {
          EXPECT_TRUE(seen.keyAfterInstall);
        }
      } else {
        EXPECT_TRUE(seen.detailVisible);
        EXPECT_EQ(seen.detail, "Movie installed as: \r\n\tC:\\Setup\\Show.exe");
      }
      for (const auto& [path, contents] : seen.destinationsAfterInstall) EXPECT_TRUE(contents.has_value()) << path;
    } else {
      ASSERT_EQ(seen.status, "Installation Failed.");
      const bool refused = scenario.refuseActivation || (failure.call == "setScreenSaveActive" && failure.argument == "1");
      EXPECT_EQ(seen.detail, refused ? "Cannot activate screen saver." : "File may be corrupted.");
      EXPECT_TRUE(seen.detailVisible);
      EXPECT_EQ(seen.prompts, 0u);
      if (mode == InstallMode::ScreenSaver && !failureInRollback) {
        EXPECT_FALSE(seen.saverAfterInstall) << "rollback left the saver";
        EXPECT_FALSE(seen.dataFileAfterInstall) << "rollback left the data file";
        EXPECT_FALSE(seen.keyAfterInstall) << "rollback left the uninstall entry";
      }
    }

    // Files: whatever stands at a destination is the entry's file, whole.
    const PackedInstaller& installer = installerOf(mode);
    for (const auto* found : {&seen.destinationsAfterInstall, &seen.destinationsAtEnd}) {
      for (int index = 1; index <= kLastExtractedEntry; ++index) {
        const std::string destination = destinationOf(installer.directory[index], mode);
        const std::optional<std::string>& contents = found->at(destination);
        if (!contents) continue;
        EXPECT_EQ(contents->size(), static_cast<size_t>(installer.directory[index].unzippedSize)) << destination;
        EXPECT_TRUE(*contents == installer.entries[index - 1].contents) << destination;
      }
    }

    EXPECT_FALSE(seen.partialLeft) << "a partial file was left behind";
    if (!seen.statusAfterUninstall.empty()) {
      EXPECT_EQ(seen.statusAfterUninstall, "Un-Installation Complete.");
    }
    if (seen.copyLeft && !copyLookupLied(failure)) {
      ASSERT_FALSE(seen.dialogs.empty());
      EXPECT_NE(seen.dialogs.back().find(kTempCopyPath), std::string::npos) << "a copy left at close is reported";
    }
  }

  // Records the scenario, then runs its cases from `first` on (the whole recording when the
  // rollback is not the subject). Returns the number of cases.
  size_t sweep(const Scenario& scenario, bool onlyTheRollback) {
    const Observation recording = run(scenario, std::nullopt, true);
    EXPECT_TRUE(recording.dialogs.empty());
    EXPECT_EQ(recording.status, scenario.refuseActivation ? "Installation Failed." : "Installation Successful.");

    // The rollback's calls are the install's calls after the refused activation.
    size_t rollbackStart = recording.installEnd;
    for (size_t index = recording.startupEnd; index < recording.installEnd; ++index) {
      if (recording.callLog[index] == "setScreenSaveActive 1") rollbackStart = index + 1;
    }
    const size_t first = onlyTheRollback ? rollbackStart : 0;
    const size_t last = onlyTheRollback ? recording.installEnd : recording.callLog.size();
    const std::vector<Failure> cases = casesFrom(recording, first, last);
    std::printf("[ fault matrix ] %s: %zu calls recorded, %zu cases generated\n", scenario.name,
                recording.callLog.size(), cases.size());

    for (const Failure& failure : cases) {
      SCOPED_TRACE(std::string(scenario.name) + ": call " + std::to_string(failure.recordedIndex) + " \"" +
                   recording.callLog[failure.recordedIndex] + "\" fails with " + std::to_string(failure.error));
      // Un-Install runs only when the failure lies in it or after it; before, it would repeat
      // a successful uninstall and its pauses at no gain.
      const bool withUninstall = failure.recordedIndex >= recording.installEnd;
      const Observation seen = run(scenario, failure, withUninstall);
      const bool inRollback = failure.recordedIndex >= rollbackStart && failure.recordedIndex < recording.installEnd;
      expectOutcome(scenario, recording, failure, seen, inRollback);
      if (HasFatalFailure()) break;
    }
    return cases.size();
  }

  ~FaultMatrix() override {
    std::error_code ignored;
    std::filesystem::remove_all(textRoot, ignored);
  }

  // Between runs the system's message texts come from a machine of their own, for the
  // expected dialog texts.
  std::filesystem::path textRoot;
  pq::SimOs textSim;
  pq::ScopedSimOs textScope;
  PackedInstaller saverInstaller, movieInstaller;
  int runs = 0;
};

TEST_F(FaultMatrix, EveryCallOfAScreenSaverRunFailingOnce) {
  EXPECT_GT(sweep({"screen saver", InstallMode::ScreenSaver, false}, false), 100u);
}

TEST_F(FaultMatrix, EveryCallOfAMovieRunFailingOnce) {
  EXPECT_GT(sweep({"movie", InstallMode::Movie, false}, false), 50u);
}

TEST_F(FaultMatrix, EveryCallOfTheRollbackFailingOnce) {
  EXPECT_GT(sweep({"refused saver rollback", InstallMode::ScreenSaver, true}, true), 5u);
}

} // namespace
} // namespace pqtest
