#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win_path.h"

using namespace pq;

namespace {

struct PathCase {
  std::string path;
  std::string extension;
  std::string directory;
  std::string name;
};

// One row per shape of path: where the last '.', '\' and ':' fall decides everything.
const std::vector<PathCase> kPathCases = {
    {"C:\\WINDOWS\\Sunset.scr", ".scr", "C:\\WINDOWS\\", "Sunset.scr"},
    {"C:\\WINDOWS\\a.b.scr", ".scr", "C:\\WINDOWS\\", "a.b.scr"},
    {"C:\\WINDOWS\\Sunset.SCR", ".SCR", "C:\\WINDOWS\\", "Sunset.SCR"},
    {"C:\\My.Dir\\README", "", "C:\\My.Dir\\", "README"},
    {"C:\\WINDOWS\\x dir", "", "C:\\WINDOWS\\", "x dir"},
    {"C:name.txt", ".txt", "C:", "name.txt"},
    {"C:", "", "C:", ""},
    {"Show.html", ".html", "", "Show.html"},
    {"Sunset.scr  ", ".scr  ", "", "Sunset.scr  "},
    {"trailing.", ".", "", "trailing."},
    {".ssd", ".ssd", "", ".ssd"},
    {"C:\\WINDOWS\\", "", "C:\\WINDOWS\\", ""},
    {"", "", "", ""},
};

TEST(WinPath, SplitsEveryShapeOfPathIntoExtensionDirectoryAndName) {
  for (const PathCase& row : kPathCases) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(extractFileExt(row.path), row.extension);
    EXPECT_EQ(extractFilePath(row.path), row.directory);
    EXPECT_EQ(extractFileName(row.path), row.name);
  }
}

TEST(WinPath, ChangeFileExtReplacesOnlyARealExtension) {
  EXPECT_EQ(changeFileExt("C:\\WINDOWS\\x.scr", ".ssd"), "C:\\WINDOWS\\x.ssd");
  EXPECT_EQ(changeFileExt("C:\\WINDOWS\\x.scr", ""), "C:\\WINDOWS\\x");
  EXPECT_EQ(changeFileExt("C:\\WINDOWS\\a.b.scr", ""), "C:\\WINDOWS\\a.b");
  EXPECT_EQ(changeFileExt("C:\\My.Dir\\README", ".ssd"), "C:\\My.Dir\\README.ssd");
  EXPECT_EQ(changeFileExt("name", ".dat"), "name.dat");
  EXPECT_EQ(changeFileExt("", ".dat"), ".dat");
}

TEST(WinPath, IncludeTrailingBackslashAddsExactlyOne) {
  EXPECT_EQ(includeTrailingBackslash("C:\\WINDOWS"), "C:\\WINDOWS\\");
  EXPECT_EQ(includeTrailingBackslash("C:\\WINDOWS\\"), "C:\\WINDOWS\\");
  EXPECT_EQ(includeTrailingBackslash(""), "\\");  // a directory the system did not report
}

TEST(WinPath, LowerCasingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(asciiLower("Sunset.SCR"), "sunset.scr");
  EXPECT_EQ(asciiLower("@[`{ 09"), "@[`{ 09");
  EXPECT_EQ(asciiLower("\xC4\xD6"), "\xC4\xD6"); // Latin-1 capitals are not ASCII
}

TEST(WinPath, TrimTrailingControlStopsAtTheFirstVisibleCharacter) {
  EXPECT_EQ(trimTrailingControl(".scr \t\r\n"), ".scr");
  EXPECT_EQ(trimTrailingControl(std::string(".scr\0\x1f ", 7)), ".scr");
  EXPECT_EQ(trimTrailingControl("  a  b  "), "  a  b");
  EXPECT_EQ(trimTrailingControl("x\xA0"), "x\xA0"); // bytes above 127 are kept
  EXPECT_EQ(trimTrailingControl(" \n"), "");
}

TEST(WinPath, NormalizedExtensionIsTheModeTest) {
  EXPECT_EQ(normalizedExtension("Sunset.SCR"), ".scr");
  EXPECT_EQ(normalizedExtension("Sunset.scr  "), ".scr");
  EXPECT_EQ(normalizedExtension("impborl.DAT"), ".dat");
  EXPECT_EQ(normalizedExtension("Sunset.exe"), ".exe");
  EXPECT_EQ(normalizedExtension("Sunset"), "");
  EXPECT_EQ(normalizedExtension("dir.x\\Sunset"), "");
}

TEST(WinPath, PathsCompareCaseBlindOverAsciiLettersOnly) {
  EXPECT_TRUE(pathsEqual("C:\\WINDOWS\\Sunset.scr", "c:\\windows\\SUNSET.SCR"));
  EXPECT_TRUE(pathsEqual("", ""));
  EXPECT_FALSE(pathsEqual("C:\\WINDOWS\\Sunset.scr", "C:\\WINDOWS\\Sunset.scr "));
  EXPECT_FALSE(pathsEqual("C:\\a", "C:\\b"));
  EXPECT_FALSE(pathsEqual("\xC4", "\xE4"));
}

TEST(WinPath, ACreatedFileLosesItsTailOfBlanksDotsAndControlCharacters) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"Sunset.scr", "Sunset.scr"},
      {std::string("Sunset.scr\0", 11), "Sunset.scr"},
      {"Sunset.scr  ", "Sunset.scr"},
      {std::string("Sunset.scr. \0\t.", 15), "Sunset.scr"},
      {std::string("Sun\0set.scr", 11), "Sun"}, // a C string ends at its first NUL
      {" Sunset . scr", " Sunset . scr"},
      {"..", ""},
  };
  for (const auto& [name, created] : rows) EXPECT_EQ(createdFileName(name), created) << "[" << name << "]";
}

TEST(WinPath, SafeEntryNamesAreBareFileNames) {
  const std::vector<std::string> safe = {
      "Sunset.scr", "impborl.dat", "a.b.scr", "Sunset.scr  ", "x dir", "COM10", "CONSOLE.txt", "lpt0", ".ssd",
      "Long Saver Name.scr", std::string("Sunset.scr\0", 11), std::string("Sunset.scr \0\r\n", 14), "Sunset.scr.",
  };
  for (const std::string& name : safe) {
    EXPECT_TRUE(isSafeEntryName(name)) << "[" << name << "]";
  }
}

TEST(WinPath, UnsafeEntryNamesAreRejected) {
  const std::vector<std::string> unsafe = {
      "", ".", "..", "...", " .", "..\\evil.dll", "a\\b", "a/b", "C:evil", "a<b", "a>b", "a\"b", "a|b", "a?b",
      "a*b", std::string("a\0b", 3), std::string("\0", 1), " \t", "tab\there", "a\x01.scr", "CON", "con",
      std::string("CON\0", 4), "Con.txt", "NUL .dat", "aux", "PRN.scr",
      "COM1", "com9.dll", "LPT1", "lpt9.x", std::string(256, 'a'),
  };
  for (const std::string& name : unsafe) {
    EXPECT_FALSE(isSafeEntryName(name)) << "[" << name << "]";
  }
  EXPECT_TRUE(isSafeEntryName(std::string(255, 'a')));
}

} // namespace
