// The rules build, verify and extract share, each at the function that owns it: the program,
// the names of a directory and their clashes, and what each entry's file must be.
#include "installer_rules.h"

#include <gtest/gtest.h>

#include "installer_image.h"
#include "support/pqpack_support.h"

namespace {

using namespace pqtest;
using Names = std::array<std::pair<std::string, int32_t>, 5>;

// The code and entry of each problem (or warning) found, as "code@entry".
std::vector<std::string> problemsOf(const pqpack::Findings& found, bool warnings = false) {
  std::vector<std::string> problems;
  for (const auto& problem : warnings ? found.warnings : found.problems) {
    problems.push_back(findingCodeName(problem.code) + ("@" + std::to_string(problem.entry)));
  }
  return problems;
}
// No code: none expected.
constexpr auto kNone = pqpack::FindingCode::Count;
std::vector<std::string> expected(pqpack::FindingCode code, int entry) {
  if (code == kNone) return {};
  return {findingCodeName(code) + ("@" + std::to_string(entry))};
}

// An installer program that is not large-address-aware (every one built before it was) works
// but for entries of a gigabyte or so: a warning, so that extract still reads such installers.
TEST(InstallerRules, TheProgramIsTheInstallerProgramAndBestLargeAddressAware) {
  PeHeader small;
  small.largeAddressAware = false;
  const struct {
    const char* label;
    Bytes program;
    pqpack::FindingCode code;
    pqpack::FindingCode warning;
  } cases[] = {
      {"pqsetup.exe", fakeProgram(), kNone, kNone},
      {"NoVersionInformation", exportingImage({}, 400), pqpack::FindingCode::ProgramNotInstaller, kNone},
      {"ASaver", fakeProgram({}, installerVersionInfo("Sunset", "Sunset")), pqpack::FindingCode::ProgramNotInstaller,
       kNone},
      {"TheLibrary", fakeProgram({}, installerVersionInfo(kInstallerProductName, "impborl")),
       pqpack::FindingCode::ProgramNotInstaller, kNone},
      {"NotLargeAddressAware", fakeProgram(small), kNone, pqpack::FindingCode::ProgramNotLargeAddressAware},
  };
  for (const auto& c : cases) {
    pqpack::Findings found;
    pqpack::checkProgram(c.program, &found);
    EXPECT_EQ(problemsOf(found), expected(c.code, pqpack::kNoEntry)) << c.label;
    EXPECT_EQ(problemsOf(found, true), expected(c.warning, pqpack::kNoEntry)) << c.label;
  }
}

// Entries 1 to 5 of these names and kinds, 100 bytes each, laid out as build lays them out.
pqpack::Directory directoryOf(const Names& names) {
  std::array<pqpack::EntryPlan, 5> plans;
  for (size_t slot = 0; slot < plans.size(); ++slot) {
    plans[slot] = {names[slot].first, names[slot].second, false, 100, 100};
  }
  pqpack::Directory directory;
  uint64_t fileSize = 0;
  std::string problem;
  EXPECT_TRUE(pqpack::layOutDirectory(1000, plans, &directory, &fileSize, &problem)) << problem;
  return directory;
}

Names named(const std::string& main, const std::string& data, const std::string& library = "impborl.dat") {
  return {{{"impborl.dat", kFileType_Library}, {main, kFileType_Main}, {data, kFileType_Data},
           {library, kFileType_Library}, {"impborl.dat", kFileType_Library}}};
}

TEST(InstallerRules, NoNameIsDroppedReservedOrAnotherEntrys) {
  const struct {
    Names names;
    pqpack::FindingCode code;
    int entry;
  } cases[] = {
      {named("Sunset.scr", "Sunset.ssd"), kNone, 0},
      {named("dot.scr.", "Sunset.ssd"), pqpack::FindingCode::EntryNameTrailing, 2},
      {named("Sunset.scr", "Sunset.ssd "), pqpack::FindingCode::EntryNameTrailing, 3},
      {named("Sunset.scr", "system.ini"), pqpack::FindingCode::EntryNameReserved, 3},
      {named("Show.exe", "system.ini"), kNone, 0},  // beside the installer, not in the Windows directory
      {named("Sunset.scr", "Sunset.ssd", "user32.dat"), pqpack::FindingCode::EntryNameReserved, 4},
      {named("Sunset.scr", "SUNSET.SCR"), pqpack::FindingCode::EntryNameClash, 3},
      {named("Show.exe", "qt.dat", "qt.dat"), pqpack::FindingCode::EntryNameClash, 4},  // stored under one name
      {named("foo.dll", "Show.ssd", "foo.dat"), kNone, 0},                  // one foo.dll in each folder
  };
  for (const auto& c : cases) {
    const pqpack::Directory entries = directoryOf(c.names);
    pqpack::Findings found;
    pqpack::checkDirectory(entries, static_cast<uint64_t>(entries[5].stopOffset) + 1, false, &found);
    EXPECT_EQ(problemsOf(found), expected(c.code, c.entry)) << c.names[1].first << ", " << c.names[2].first;
  }
}

TEST(InstallerRules, EachEntrysFileIsWhatItsPlaceNeeds) {
  const Bytes library = fakeLibrary();
  const struct {
    std::string main;
    int index;
    Bytes bytes;
    pqpack::FindingCode code;
  } cases[] = {
      {"Sunset.scr", 2, windowsImage(5000, 1), kNone},
      {"Sunset.scr", 2, bytesOf("a saver in words"), pqpack::FindingCode::SaverNotProgram},
      {"Sunset.scr", 2, windowsImage(5000, 1, true), pqpack::FindingCode::SaverNotProgram},
      {"Show.html", 2, bytesOf("<html>"), kNone},  // a movie may be anything
      {"Sunset.scr", 4, windowsImage(5000, 1, true), kNone},
      {"Sunset.scr", 4, bytesOf("not a DLL"), pqpack::FindingCode::SupportLibraryUnusable},
      {"Sunset.scr", 4, windowsImage(5000, 1), pqpack::FindingCode::SupportLibraryUnusable},
      {"Sunset.scr", 5, library, kNone},  // the free slot
      {"Sunset.scr", 5, Bytes(library.size(), 1), pqpack::FindingCode::EntryNameClash},
  };
  for (const auto& c : cases) {
    const pqpack::Directory entries = directoryOf(named(c.main, "Sunset.ssd", "qt.dat"));
    pqpack::EntryScan libraryScan(kLibraryEntry), scan(c.index);
    std::string problem;
    libraryScan.write(library.data(), library.size(), &problem);
    scan.write(c.bytes.data(), c.bytes.size(), &problem);
    pqpack::Findings found;
    pqpack::checkEntryFile(entries, c.index, scan, &libraryScan, &found);
    EXPECT_EQ(problemsOf(found), expected(c.code, c.index)) << c.main << ", entry " << c.index;
  }
}

} // namespace
