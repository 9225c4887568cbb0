// Inputs the installer fuzzer stopped on, kept in fuzz/regressions/ and replayed here the way
// the fuzzer runs them: written after a padded program as the installer, then start-up and
// Install on the simulated Windows.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/installer_fixture.h"

namespace pqtest {
namespace {

std::string regressionInput(const std::string& name) {
  std::ifstream input(std::string(PQ_SOURCE_DIR) + "/fuzz/regressions/" + name, std::ios::binary);
  EXPECT_TRUE(input.good()) << name;
  return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

std::string asInstaller(const std::string& input) {
  std::string image(DIRECTORY_OFFSET, '\0');
  image.replace(0, 2, "MZ");
  return image + input;
}

class FuzzRegression : public InstallerTest {};

// A movie installer whose entry 1 is stored with 48 bytes while its unzippedSize says 49, and
// whose compressed entry 2 does not expand as its directory says. A stored entry's bytes are
// the file and its unzippedSize is never consulted, so the library lands as the 48 bytes,
// whole; entry 2 then fails once, with the generic message for its destination, and leaves no
// file; a movie installation rolls nothing back, so the library stays. (The fuzzer had taken
// the directory's figure for the truth; its check now compares a stored file with its stored
// bytes.)
TEST_F(FuzzRegression, AStoredEntryLandsAsItsStoredBytesWhateverItsUnzippedSizeSays) {
  const std::string input = regressionInput("stored_entry_size_differs_from_unzipped_size");
  ASSERT_GT(input.size(), static_cast<size_t>(kDirectoryTableSize));
  start(asInstaller(input));
  const TInstallFileInfo& library = installerDirectory.entries[1];
  ASSERT_EQ(library.isZipped, 0);
  ASSERT_EQ(storedSize(library), 48);
  ASSERT_EQ(library.unzippedSize, 49);

  form.butInstallClick(nullptr);
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{"Installation Error: Problem using C:\\Setup\\Show.exe. \r\n\r\n"});
  EXPECT_EQ(form.statusLabel.caption, "Installation Failed.");
  EXPECT_EQ(form.labStatus.caption, "File may be corrupted.");
  EXPECT_FALSE(sim.fileExistsAt("C:\\Setup\\Show.exe"));
  EXPECT_EQ(installed("C:\\WINDOWS\\impborl.dll"),
            asInstaller(input).substr(static_cast<size_t>(library.startOffset), 48));
}

} // namespace
} // namespace pqtest
