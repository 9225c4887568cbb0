// A real installer cut short anywhere, as an interrupted download leaves it: at every boundary
// of the table and of the entries, one byte either side of each, and at 200 seeded points in
// the table and payload. Start-up and install must give the code and message that belong to
// where the cut falls, and the machine must hold afterwards exactly what the entries before
// the cut put there, never a partial file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
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

struct Cut {
  size_t length;
  std::string why;
};

// Every boundary, one byte either side, and 200 seeded points from the table's start to the end.
std::vector<Cut> cutPoints(const PackedInstaller& installer) {
  std::vector<Cut> cuts;
  auto around = [&](size_t boundary, const std::string& name) {
    cuts.push_back({boundary - 1, "one byte before " + name});
    cuts.push_back({boundary, "at " + name});
    if (boundary < installer.bytes.size()) cuts.push_back({boundary + 1, "one byte after " + name});
  };
  around(DIRECTORY_OFFSET, "the table's start");
  for (int index = 1; index <= kLastExtractedEntry; ++index) {
    around(static_cast<size_t>(installer.directory[index].startOffset), "entry " + std::to_string(index) + "'s start");
  }
  around(installer.bytes.size(), "the end of the file");

  std::mt19937 random(20261207);
  std::uniform_int_distribution<size_t> point(DIRECTORY_OFFSET, installer.bytes.size() - 1);
  for (int count = 0; count < 200; ++count) {
    const size_t length = point(random);
    cuts.push_back({length, "random point " + std::to_string(count)});
  }
  return cuts;
}

// The first entry whose stored bytes do not all survive a cut at `length`; 6 when all do.
int firstCutEntry(const PackedInstaller& installer, size_t length) {
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    if (static_cast<size_t>(installer.directory[index].stopOffset) >= length) return index;
  }
  return kLastExtractedEntry + 1;
}

class TruncationSweep : public ::testing::TestWithParam<InstallMode> {
protected:
  TruncationSweep() {
    installer = packInstaller(smallEntries(GetParam() == InstallMode::ScreenSaver ? "Sunset.scr" : "Show.exe"));
  }

  // One cut on a machine of its own: start-up, then Install (No to the prompt), then Close.
  void runCut(const Cut& cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut.length) + " (" + cut.why + ")");
    MachineOfItsOwn machine("truncation_" + std::to_string(cases++), installer.bytes.substr(0, cut.length));
    pq::SimOs& sim = machine.sim;
    root = machine.folder.path;
    TForm1 form;
    form.FormCreate(nullptr);
    form.butInstallClick(nullptr);
    if (cut.length < static_cast<size_t>(DIRECTORY_OFFSET + kDirectoryTableSize)) {
      expectUnusableAfterACut(sim, form);
    } else {
      expectInstallStoppedAt(sim, form, firstCutEntry(installer, cut.length));
    }
    form.Close();
    EXPECT_FALSE(sim.fileExistsAt(kTempCopyPath));
  }

  // A cut inside the table: the -34 message for the installer, both actions disabled, and
  // the click on Install does nothing.
  void expectUnusableAfterACut(pq::SimOs& sim, const TForm1& form) {
    EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{kCorruptedInstallerMessage});
    expectUnusable(form);
    EXPECT_NE(form.statusLabel.caption, "Installation Failed.");
    expectFiles({});
  }

  // A cut inside entry `cutEntry` (6: none): the entries before it installed, that entry
  // failing with -30 in a message naming its destination, and in screen-saver mode the
  // rollback taking the saver and its data file away again.
  void expectInstallStoppedAt(pq::SimOs& sim, const TForm1& form, int cutEntry) {
    const InstallMode mode = GetParam();
    std::set<int> kept;
    for (int index = kFirstExtractedEntry; index < cutEntry; ++index) kept.insert(index);
    if (cutEntry <= kLastExtractedEntry) {
      const std::string destination = destinationOf(installer.directory[cutEntry], mode);
      EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{installErrorMessage(kErr_ShortTransfer, destination)});
      EXPECT_EQ(sim.errorDialogs.front(), "Installation Error: Problem using " + destination + ". \r\n\r\n");
      EXPECT_EQ(form.statusLabel.caption, "Installation Failed.");
      EXPECT_EQ(form.labStatus.caption, "File may be corrupted.");
      EXPECT_TRUE(form.labStatus.visible);
      EXPECT_TRUE(sim.messageBoxes.empty());
      if (mode == InstallMode::ScreenSaver) {
        kept.erase(2);
        kept.erase(3);
        EXPECT_FALSE(sim.registryKeyExists(kUninstallKey));
      }
    } else {
      EXPECT_TRUE(sim.errorDialogs.empty());
      EXPECT_EQ(form.statusLabel.caption, "Installation Successful.");
      EXPECT_EQ(sim.messageBoxes.size(), 1u);
      if (mode == InstallMode::ScreenSaver) {
        EXPECT_TRUE(sim.registryKeyExists(kUninstallKey));
      }
    }
    expectFiles(kept);
  }

  // The machine holds the installer, the temporary copy, "system.ini" once a saver was made
  // current, and exactly the installed files of `entries`, whole.
  void expectFiles(const std::set<int>& entries) {
    std::map<std::string, std::string> expected;
    for (int index : entries) {
      expected[destinationOf(installer.directory[index], GetParam())] = installer.entries[index - 1].contents;
    }
    for (const auto& [path, contents] : filesBesideTheInstaller()) {
      const auto found = expected.find(path);
      if (found == expected.end()) {
        ADD_FAILURE() << "unexpected file " << path << " of " << contents.size() << " bytes";
        continue;
      }
      EXPECT_EQ(contents.size(), found->second.size()) << path;
      EXPECT_TRUE(contents == found->second) << path << " differs from its entry";
      expected.erase(found);
    }
    for (const auto& [path, contents] : expected) ADD_FAILURE() << "missing " << path;
  }

  // Every file on the machine as "C:\\..." paths with their bytes, except the installer, its
  // temporary copy and "system.ini" (read as the sim's snapshot does, without the two large
  // files, which would make hundreds of cuts slow).
  std::map<std::string, std::string> filesBesideTheInstaller() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file()) continue;
      std::string path = entry.path().lexically_relative(root).string();
      std::replace(path.begin(), path.end(), '/', '\\');
      path = "C:\\" + path;
      if (path == kInstallerPath || pq::asciiLower(path) == pq::asciiLower(kTempCopyPath) || path == "C:\\WINDOWS\\system.ini")
        continue;
      std::ifstream input(entry.path(), std::ios::binary);
      std::string bytes(static_cast<size_t>(entry.file_size()), '\0');
      input.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      files[path] = bytes;
    }
    return files;
  }

  std::filesystem::path root;
  PackedInstaller installer;
  int cases = 0;
};

TEST_P(TruncationSweep, EveryCutGivesTheCodeOfWhereItFallsAndLeavesNoPartialFile) {
  ASSERT_GT(installer.bytes.size(), static_cast<size_t>(DIRECTORY_OFFSET + kDirectoryTableSize));
  // The sweep means something only if it reaches stored and compressed entries alike.
  const auto& entry = installer.directory;
  ASSERT_TRUE(entry[2].isZipped && entry[4].isZipped);
  ASSERT_FALSE(entry[1].isZipped || entry[3].isZipped || entry[5].isZipped);

  for (const Cut& cut : cutPoints(installer)) {
    runCut(cut);
    if (HasFailure()) break; // one failing cut tells the story; the rest would repeat it
  }
  std::printf("[ truncation ] %d cuts run\n", cases);
}

INSTANTIATE_TEST_SUITE_P(BothModes, TruncationSweep, ::testing::Values(InstallMode::ScreenSaver, InstallMode::Movie),
                         [](const ::testing::TestParamInfo<InstallMode>& info) {
                           return info.param == InstallMode::ScreenSaver ? "ScreenSaver" : "Movie";
                         });

} // namespace
} // namespace pqtest
