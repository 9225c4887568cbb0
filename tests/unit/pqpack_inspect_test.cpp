// pqpack list, verify, extract and ssd: reading installers back, finding every broken rule
// in crafted files, never writing outside the extraction folder, and the data file header.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "archive/directory.h"
#include "compression/byte_order.h"
#include "data_file.h"
#include "installer_image.h"
#include "installer_rules.h"
#include "platform/sim/sim_os.h"
#include "support/pqpack_support.h"
#include "support/test_installer.h"
#include "system/quicktime.h"

namespace {

using namespace pqtest;
using Directory = std::array<TInstallFileInfo, kDirectoryEntryCount>;

class PqpackInspect : public SaverBuildInputs {
protected:
  // Builds an installer of `main` (a scratch file name), Sunset.ssd and qtlib.dll.
  std::string build(const std::string& main = "Sunset.scr", const std::string& dataName = "Sunset.ssd") {
    const std::string out = folder / "Setup.exe";
    const CommandRun result = run("build", buildArgs(out, {folder / main, folder / dataName, folder / "qtlib.dll"}));
    EXPECT_EQ(result.status, 0) << result.err;
    return out;
  }

  static Directory decode(const Bytes& image) {
    Directory entries{};
    decodeDirectoryTable(image.data() + DIRECTORY_OFFSET, entries.data());
    return entries;
  }
  static void encode(const Directory& entries, Bytes* image) {
    encodeDirectoryTable(entries.data(), image->data() + DIRECTORY_OFFSET);
  }
};

// ---- verify ------------------------------------------------------------------------------------

TEST_F(PqpackInspect, VerifyPassesABuiltInstaller) {
  const std::string installer = build();
  const CommandRun result = run("verify", {installer});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, installer + ": no problems\n");
}

using Code = pqpack::FindingCode;

struct Breakage {
  const char* label;
  Code code;  // the finding's code and entry, which scripts rely on
  int entry;
  std::function<void(Bytes& image, Directory& entries)> apply;
  const char* finding;
  bool warning = false;  // found among the warnings, which leave the exit status 0
};

TEST_F(PqpackInspect, VerifyFindsEachBrokenRule) {
  const std::string installer = build();
  const Bytes good = readFile(installer);
  const std::vector<Breakage> breakages = {
      {"table cut off", Code::FileUnreadable, pqpack::kNoEntry, [](Bytes& image, Directory&) { image.resize(DIRECTORY_OFFSET + 100); },
       "too short for an installer"},
      {"entry 0 renamed", Code::ProgramEntry, 0, [](Bytes&, Directory& e) { setEntryName(e[0], "setup.dat"); },
       "entry 0: name is 'setup.dat', not 'install.dat'"},
      {"entry 0 short", Code::ProgramEntry, 0, [](Bytes&, Directory& e) { e[0].stopOffset = 1000; }, "entry 0: stopOffset is 1000, not 478207"},
      {"entry 0 size", Code::ProgramEntry, 0, [](Bytes&, Directory& e) { e[0].unzippedSize = 5; }, "entry 0: unzippedSize is 5, not 478208"},
      {"entry 0 compressed", Code::ProgramEntry, 0, [](Bytes&, Directory& e) { e[0].isZipped = 1; }, "entry 0: isZipped is 1, not 0"},
      {"entry 1 late", Code::EntryPlacement, 1, [](Bytes&, Directory& e) { e[1].startOffset += 1; },
       "entry 1 (impborl.dat): starts at 479889, not right after the directory table at 479888"},
      {"gap before entry 3", Code::EntryPlacement, 3,
       [](Bytes&, Directory& e) {
         e[3].startOffset += 1;
         e[3].unzippedSize -= 1;
       },
       "not right after entry 2"},
      {"overlap", Code::EntryPlacement, 4, [](Bytes&, Directory& e) { e[4].startOffset -= 1; }, "entry 4 (qtlib.dat): starts at"},
      {"trailing byte", Code::EntryPlacement, 5, [](Bytes& image, Directory&) { image.push_back(0); }, "but the file's last byte is"},
      {"last entry past the end", Code::EntryRange, 5, [](Bytes& image, Directory&) { image.pop_back(); }, "past the end of the file"},
      {"inverted range", Code::EntryRange, 4, [](Bytes&, Directory& e) { std::swap(e[4].startOffset, e[4].stopOffset); },
       "empty or inverted range"},
      {"inside the program", Code::EntryPlacement, 2, [](Bytes&, Directory& e) { e[2].startOffset = 100; },
       "inside the program or the directory table"},
      {"entry 1 not a library", Code::LibraryEntry, 1, [](Bytes&, Directory& e) { e[1].fileType = kFileType_Main; },
       "not 3: entry 1 must be the compression library"},
      {"entry 1 compressed", Code::LibraryEntry, 1, [](Bytes&, Directory& e) { e[1].isZipped = 1; }, "the compression library must be stored"},
      {"entry 1 other library", Code::LibraryEntry, 1, [](Bytes&, Directory& e) { setEntryName(e[1], "other.dat"); },
       "lands as 'other.dll', not as 'impborl.dll'"},
      {"entry 3 not data", Code::EntryKind, 3, [](Bytes&, Directory& e) { e[3].fileType = kFileType_Main; },
       "not 4: entry 3 must be the data file"},
      {"unknown kind", Code::EntryKind, 5, [](Bytes&, Directory& e) { e[5].fileType = 7; }, "kind 7 is not one of 1 to 4"},
      {"stored size", Code::EntrySizes, 3, [](Bytes&, Directory& e) { e[3].unzippedSize += 1; }, "unzippedSize is"},
      {"stored zippedSize", Code::EntrySizes, 3, [](Bytes&, Directory& e) { e[3].zippedSize = 5; }, "zippedSize is 5 for a stored entry"},
      {"compressed zippedSize", Code::EntrySizes, 2, [](Bytes&, Directory& e) { e[2].zippedSize -= 1; }, ", but it stores"},
      {"dictionary byte", Code::StreamHeader, 2, [](Bytes& image, Directory& e) { image[e[2].startOffset + 1] = 0x04; }, "starts 00 04, not 00 06"},
      {"expanded size", Code::EntryContents, 2, [](Bytes&, Directory& e) { e[2].unzippedSize += 1; }, "not its unzippedSize"},
      {"expands beyond its size", Code::EntryContents, 2, [](Bytes&, Directory& e) { e[2].unzippedSize -= 1; },
       "entry 2 (Sunset.scr): expands to more than 59999 bytes, its unzippedSize"},
      {"broken stream", Code::EntryContents, 2, [](Bytes& image, Directory& e) { image[e[2].startOffset] = 0x07; },
       "does not expand (decoder result 2"},
      {"path in a name", Code::EntryName, 2, [](Bytes&, Directory& e) { setEntryName(e[2], "..\\evil.scr"); }, "contains '\\'"},
      {"empty name", Code::EntryName, 4, [](Bytes&, Directory& e) { setEntryName(e[4], ""); }, "entry 4: the name is empty"},
      {"device name", Code::EntryName, 3, [](Bytes&, Directory& e) { setEntryName(e[3], "aux.ssd"); }, "reserved device name"},
      {"name too long for a Windows folder", Code::EntryName, 2, [](Bytes&, Directory& e) { setEntryName(e[2], std::string(191, 'n') + ".scr"); },
       "entry 2 (nnn"},
      {"library name too long once installed", Code::EntryName, 4, [](Bytes&, Directory& e) { setEntryName(e[4], std::string(191, 'n')); },
       "is 195 characters"},
      {"name stored as UTF-8", Code::EntryNameEncoding, 2, [](Bytes&, Directory& e) { setEntryName(e[2], "\xC3\x89" "cran.scr"); },
       "the name is stored as UTF-8 text for '\xC3\x89" "cran.scr', but the installer shows and writes it as "
       "'\xC3\x83\xE2\x80\xB0" "cran.scr'",
       true},
      {"program not a Windows program", Code::ProgramUnusable, pqpack::kNoEntry, [](Bytes& image, Directory&) { image[0] = 'X'; },
       "program: the installer program is not a Windows program (no PE header)"},
      {"library not a Windows library", Code::LibraryUnusable, 1, [](Bytes& image, Directory& e) { image[e[1].startOffset] = 'X'; },
       "entry 1 (impborl.dat): the compression library is not a Windows program"},
      {"data file changed", Code::DataFile, 3, [](Bytes& image, Directory& e) { image[e[3].startOffset + 70] ^= 1; },
       "entry 3 (Sunset.ssd): its content no longer matches the CRC-32"},
      {"compressed entry flagged stored", Code::EntrySizes, 2, [](Bytes&, Directory& e) { e[2].isZipped = 0; },
       "entry 2 (Sunset.scr): zippedSize is"},
      {"entry 1 at offset 0", Code::EntryPlacement, 1,
       [](Bytes&, Directory& e) {
         e[1].stopOffset -= e[1].startOffset;
         e[1].startOffset = 0;
       },
       "entry 1 (impborl.dat): starts at 0, inside the program"},
      {"entry 3 named as entry 2", Code::EntryNameClash, 3, [](Bytes&, Directory& e) { setEntryName(e[3], "SUNSET.SCR"); },
       "entry 3 (SUNSET.SCR): it would be installed as 'SUNSET.SCR', as entry 2 (Sunset.scr) is"},
  };
  for (const Breakage& breakage : breakages) {
    SCOPED_TRACE(breakage.label);
    Bytes image = good;
    Directory entries = decode(image);
    breakage.apply(image, entries);
    if (image.size() >= static_cast<size_t>(kFirstEntryOffset)) encode(entries, &image);
    writeFile(installer, image);
    const pqpack::Findings findings = pqpack::checkInstaller(installer);
    const std::vector<pqpack::Finding>& searched = breakage.warning ? findings.warnings : findings.problems;
    const auto found = std::find_if(searched.begin(), searched.end(), [&](const pqpack::Finding& finding) {
      return finding.message.find(breakage.finding) != std::string::npos;
    });
    std::string all;
    for (const pqpack::Finding& problem : findings.problems) all += problem.message + "\n";
    for (const pqpack::Finding& warning : findings.warnings) all += "warning: " + warning.message + "\n";
    ASSERT_NE(found, searched.end()) << "found instead:\n" << all;
    EXPECT_EQ(pqpack::findingCodeName(found->code), std::string(pqpack::findingCodeName(breakage.code)));
    EXPECT_EQ(found->entry, breakage.entry);

    const CommandRun result = run("verify", {installer});
    EXPECT_EQ(result.status, findings.problems.empty() ? pqpack::kExit_Done : pqpack::kExit_Failure);
    EXPECT_EQ(result.status, breakage.warning ? pqpack::kExit_Done : pqpack::kExit_Failure);
    if (!breakage.warning) {
      EXPECT_EQ(result.out, all);
    }

    // extract fails what verify fails, and writes no byte that is not an input's, whole.
    std::filesystem::remove_all(folder.path / "out");
    const CommandRun extracted = run("extract", {installer, folder / "out"});
    EXPECT_EQ(extracted.status, result.status) << extracted.err;
    for (const std::string& name : ScratchFolder::namesIn(folder.path / "out")) {
      const Bytes written = readFile(folder / ("out/" + name));
      EXPECT_TRUE(written == library || written == saver || written == data || written == support) << name;
    }
  }
}

TEST_F(PqpackInspect, VerifyFindsWhatBuildRefusesOrWarnsOfInTheDataFile) {
  for (const DataFileCase& dataCase : dataFileCases()) {
    SCOPED_TRACE(dataCase.label);
    // Written past build's own checks, as another or an older builder might have.
    std::vector<ImageEntry> entries = smallEntries("Sunset.scr");
    const auto text = [](const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); };
    entries[0].contents = text(library);
    entries[1].contents = text(saver);
    entries[2] = {"Doubtful.ssd", kFileType_Data, text(dataCase.bytes)};
    entries[3].contents = entries[4].contents = text(support);
    writeFile(folder / "Setup.exe", bytesOf(packInstaller(entries, {}, fakeProgram()).bytes));
    const pqpack::Findings findings = pqpack::checkInstaller(folder / "Setup.exe");
    const std::vector<std::string> problems = messagesOf(findings.problems), warnings = messagesOf(findings.warnings);
    EXPECT_EQ(problems.empty(), !dataCase.refused);
    const std::vector<std::string>& found = dataCase.refused ? problems : warnings;
    ASSERT_EQ(found.size(), dataCase.message == nullptr ? 0u : 1u) << (found.empty() ? "" : found[0]);
    if (dataCase.message == nullptr) continue;
    EXPECT_EQ(found[0].rfind("entry 3 (Doubtful.ssd): ", 0), 0u) << found[0];
    EXPECT_NE(found[0].find(dataCase.message), std::string::npos) << found[0];
  }
}

TEST_F(PqpackInspect, VerifyOfAMissingFileSaysSo) {
  const CommandRun result = run("verify", {folder / "absent.exe"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("cannot read"), std::string::npos);
  EXPECT_EQ(run("verify", {}).status, 2);
}

// ---- list --------------------------------------------------------------------------------------

TEST_F(PqpackInspect, ListShowsTheModeAndOneLinePerEntry) {
  const std::string installer = build();
  const CommandRun result = run("list", {installer});
  ASSERT_EQ(result.status, 0);
  const Bytes image = readFile(installer);
  const Directory entries = decode(image);

  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = result.out.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(result.out.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], installer + ": screen saver installer, " + std::to_string(image.size()) + " bytes");
  EXPECT_EQ(lines[1], "program: ProductName \"Panoquill Installer\", FileVersion \"\"");
  EXPECT_EQ(lines[2], "QuickTime: level 0, none required");
  EXPECT_EQ(lines[3], "signature: unsigned");
  lines.erase(lines.begin() + 1, lines.begin() + 4);
  EXPECT_EQ(lines[1], "entry kind storage         start       stop     stored   expanded  name");
  EXPECT_EQ(lines[2], "0     2    stored              0     478207     478208     478208  install.dat");
  char expected[200];
  std::snprintf(expected, sizeof expected, "2     2    compressed %10d %10d %10d      60000  Sunset.scr",
                entries[2].startOffset, entries[2].stopOffset, storedSize(entries[2]));
  EXPECT_EQ(lines[4], expected);
  EXPECT_EQ(lines[5].substr(0, 21), "3     4    stored    ");
  EXPECT_NE(lines[6].find("qtlib.dat"), std::string::npos);
  EXPECT_NE(lines[7].find("impborl.dat"), std::string::npos);

  // The level is read as the installer reads it, from a compressed data file too.
  writeFile(folder / "Level3.ssd", pqpack::makeDataFile(3, compressibleBytes(5000, 4)));
  ASSERT_EQ(run("build", buildArgs(installer, {"--compress-data", folder / "Sunset.scr", folder / "Level3.ssd"})).status,
            0);
  ASSERT_NE(decode(readFile(installer))[3].isZipped, 0);
  EXPECT_NE(run("list", {installer}).out.find("\nQuickTime: level 3 required\n"), std::string::npos);
  EXPECT_EQ(nlohmann::json::parse(run("list", {"--json", installer}).out)["quickTimeLevel"], 3);
}

TEST_F(PqpackInspect, ListAndVerifySpeakJsonForBuildPipelines) {
  writeFile(folder / "\xC3\x89" "cran.scr", saver);  // "Écran.scr"
  const std::string installer = build("\xC3\x89" "cran.scr");
  const CommandRun listed = run("list", {"--json", installer});
  ASSERT_EQ(listed.status, 0) << listed.err;
  const auto listing = nlohmann::json::parse(listed.out);
  const Directory entries = decode(readFile(installer));
  EXPECT_EQ(listing["schemaVersion"], pqpack::kJsonSchemaVersion);
  EXPECT_EQ(listing["file"], installer);
  EXPECT_EQ(listing["mode"], "screen saver");
  EXPECT_EQ(listing["quickTimeLevel"], 0);
  EXPECT_EQ(listing["size"], readFile(installer).size());
  EXPECT_EQ(listing["program"]["productName"], "Panoquill Installer");
  EXPECT_EQ(listing["signed"], false);
  EXPECT_TRUE(listing["signer"].is_null());
  ASSERT_EQ(listing["entries"].size(), 6u);
  for (int index = 0; index < kDirectoryEntryCount; ++index) {
    SCOPED_TRACE(index);
    const auto& entry = listing["entries"][index];
    EXPECT_EQ(entry["index"], index);
    EXPECT_EQ(entry["kind"], entries[index].fileType);
    EXPECT_EQ(entry["compressed"], entries[index].isZipped != 0);
    EXPECT_EQ(entry["start"], entries[index].startOffset);
    EXPECT_EQ(entry["stop"], entries[index].stopOffset);
    EXPECT_EQ(entry["storedSize"], storedSize(entries[index]));
    EXPECT_EQ(entry["expandedSize"], entries[index].unzippedSize);
  }
  EXPECT_EQ(listing["entries"][2]["name"], "\xC3\x89" "cran.scr");  // stored in code page 1252, shown in UTF-8

  const auto verified = [&] {
    const CommandRun result = run("verify", {"--json", installer});
    auto report = nlohmann::json::parse(result.out);
    report["status"] = result.status;
    return report;
  };
  EXPECT_EQ(verified(), nlohmann::json::parse(R"({"schemaVersion": 1, "file": ")" + installer +
                                              R"(", "ok": true, "problems": [], "warnings": [], "signed": false,
                                                  "signer": null, "status": 0})"));
  Bytes image = readFile(installer);
  image[0] = 'X';
  image.push_back(0);
  writeFile(installer, image);
  const std::vector<std::string> messages = pqpack::findProblems(installer);
  ASSERT_EQ(messages.size(), 2u);
  const auto report = verified();
  EXPECT_EQ(report["ok"], false);
  EXPECT_EQ(report["status"], pqpack::kExit_Failure);
  // Each problem with its code, its entry (null for the file as a whole) and its sentence.
  const nlohmann::json expected = {{{"code", "program-unusable"}, {"entry", nullptr}, {"message", messages[0]}},
                                   {{"code", "entry-placement"}, {"entry", 5}, {"message", messages[1]}}};
  EXPECT_EQ(report["problems"], expected);
}

TEST_F(PqpackInspect, ListCallsAnythingButScrAMovie) {
  writeFile(folder / "Show.exe", saver);
  const CommandRun result = run("list", {build("Show.exe")});
  EXPECT_NE(result.out.find(": movie installer, "), std::string::npos);
}

TEST_F(PqpackInspect, ListAndExtractSayAFileIsNotAnInstaller) {
  Bytes program = fakeProgram();
  program.resize(600000, 0x11);
  struct NotAnInstaller {
    const char* name;
    Bytes bytes;
    const char* reason;
  };
  const NotAnInstaller files[] = {
      {"noise.bin", noiseBytes(600000, 3), "it does not start with a Windows program"},
      {"program.exe", program, "there is no installer's directory table at byte 478208"},
  };
  for (const NotAnInstaller& file : files) {
    SCOPED_TRACE(file.name);
    writeFile(folder / file.name, file.bytes);
    const CommandRun listed = run("list", {folder / file.name});
    const CommandRun extracted = run("extract", {folder / file.name, folder / "out"});
    for (const CommandRun* result : {&listed, &extracted}) {
      EXPECT_EQ(result->status, pqpack::kExit_Failure);
      EXPECT_EQ(result->out, "");
      EXPECT_NE(result->err.find("'" + folder / file.name + "' is not an installer: " + file.reason),
                std::string::npos)
          << result->err;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(folder.path / "out" / "impborl.dat"));
}

TEST_F(PqpackInspect, ListRefusesAFileTooShortToBeAnInstaller) {
  writeFile(folder / "tiny.exe", Bytes(5000, 1));
  const CommandRun result = run("list", {folder / "tiny.exe"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("is not an installer: it is 5000 bytes, too short for an installer"), std::string::npos);
}

// A name is data: an escape sequence in one (here setting the terminal's title) is shown,
// never sent to the terminal, by every command that prints it.
TEST_F(PqpackInspect, ListVerifyAndExtractShowControlCharactersInNamesEscaped) {
  const std::string installer = build();
  Bytes image = readFile(installer);
  Directory entries = decode(image);
  setEntryName(entries[2], "\x1B]0;owned\x07.scr");
  encode(entries, &image);
  writeFile(installer, image);
  for (const Args& line : {Args{"list", installer}, Args{"verify", installer}, Args{"extract", installer, folder / "out"}}) {
    SCOPED_TRACE(line[0]);
    const CommandRun result = run(line);
    const std::string printed = result.out + result.err;
    EXPECT_EQ(printed.find_first_of("\x1B\x07"), std::string::npos) << printed;
    EXPECT_NE(printed.find("\\x1B]0;owned\\x07.scr"), std::string::npos) << printed;
  }
  const auto listing = nlohmann::json::parse(run("list", {"--json", installer}).out);
  EXPECT_EQ(listing["entries"][2]["name"], "\x1B]0;owned\x07.scr");  // JSON escapes it itself
}

// ---- extract -----------------------------------------------------------------------------------

TEST_F(PqpackInspect, ExtractWritesEveryEntryUnderItsStoredName) {
  const std::string installer = build();
  const CommandRun result = run("extract", {installer, folder / "out/nested"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile(folder / "out/nested/impborl.dat"), library);
  EXPECT_EQ(readFile(folder / "out/nested/Sunset.scr"), saver);
  EXPECT_EQ(readFile(folder / "out/nested/Sunset.ssd"), data);
  EXPECT_EQ(readFile(folder / "out/nested/qtlib.dat"), support);
  EXPECT_EQ(ScratchFolder::namesIn(folder.path / "out/nested"),
            (std::vector<std::string>{"Sunset.scr", "Sunset.ssd", "impborl.dat", "qtlib.dat"}));
}

TEST_F(PqpackInspect, ExtractRefusesUnsafeNamesAndWritesNothingOutsideTheFolder) {
  const std::string installer = build();
  Bytes image = readFile(installer);
  Directory entries = decode(image);
  setEntryName(entries[2], "../escaped.scr");
  setEntryName(entries[4], "..");
  setEntryName(entries[3], std::string("Sunset.ssd\0 ", 12));  // Windows would drop the tail
  encode(entries, &image);
  writeFile(installer, image);
  const auto before = folder.names();

  const CommandRun result = run("extract", {installer, folder / "out"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("entry 2 (../escaped.scr): the name '../escaped.scr' contains '/'"), std::string::npos)
      << result.err;
  for (const char* refused : {"entry 2 refused\n", "entry 3 refused\n", "entry 4 refused\n"}) {
    EXPECT_NE(result.err.find(refused), std::string::npos) << refused;
  }
  std::vector<std::string> after = before;
  after.push_back("out");
  std::sort(after.begin(), after.end());
  EXPECT_EQ(folder.names(), after);
  // The entries without a problem are still written.
  EXPECT_EQ(ScratchFolder::namesIn(folder.path / "out"), std::vector<std::string>{"impborl.dat"});
  EXPECT_EQ(readFile(folder / "out/impborl.dat"), library);
}

TEST_F(PqpackInspect, ExtractReplacesALinkInsteadOfWritingThroughIt) {
  const std::string installer = build();
  writeFile(folder / "victim", bytesOf("untouched"));
  std::filesystem::create_directories(folder.path / "out");
  std::filesystem::create_symlink(folder.path / "victim", folder.path / "out" / "Sunset.ssd");

  ASSERT_EQ(run("extract", {installer, folder / "out"}).status, 0);
  EXPECT_EQ(readFile(folder / "victim"), bytesOf("untouched"));
  EXPECT_FALSE(std::filesystem::is_symlink(folder.path / "out" / "Sunset.ssd"));
  EXPECT_EQ(readFile(folder / "out/Sunset.ssd"), data);
}

TEST_F(PqpackInspect, ExtractSkipsAnEntryThatDoesNotExpandWhole) {
  const std::string installer = build();
  Bytes image = readFile(installer);
  Directory entries = decode(image);
  entries[2].unzippedSize += 1;
  encode(entries, &image);
  writeFile(installer, image);

  const CommandRun result = run("extract", {installer, folder / "out"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("entry 2 (Sunset.scr): expands to 60000 bytes, not its unzippedSize 60001"),
            std::string::npos)
      << result.err;
  EXPECT_FALSE(std::filesystem::exists(folder.path / "out" / "Sunset.scr"));
  EXPECT_EQ(readFile(folder / "out/qtlib.dat"), support);
  // Nor is what was expanded of it left behind under another name.
  EXPECT_EQ(ScratchFolder::namesIn(folder.path / "out"),
            (std::vector<std::string>{"Sunset.ssd", "impborl.dat", "qtlib.dat"}));
}

// ---- every command -----------------------------------------------------------------------------

TEST_F(PqpackInspect, NoCommandWritesOverTheFileItReads) {
  const std::string installer = build();
  std::filesystem::create_directories(folder.path / "out");
  std::filesystem::copy_file(installer, folder / "out/Sunset.scr");  // an installer named like its entry 2
  writeFile(folder / "stream", readFile(folder / "Sunset.scr"));
  struct Case {
    const char* command;
    Args args;
    std::string kept;  // the input, which must stay as it was
    int status;
  };
  const Case cases[] = {
      {"ssd", {"--quicktime-level", "0", folder / "Sunset.scr", folder / "./Sunset.scr"}, folder / "Sunset.scr",
       pqpack::kExit_Failure},
      {"implode", {folder / "stream", folder / "sub/../stream"}, folder / "stream", pqpack::kExit_Failure},
      {"explode", {folder / "stream", folder / "stream"}, folder / "stream", pqpack::kExplodeExit_CannotWrite},
      {"extract", {folder / "out/Sunset.scr", folder / "out"}, folder / "out/Sunset.scr", pqpack::kExit_Failure},
  };
  std::filesystem::create_directories(folder.path / "sub");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const Bytes before = readFile(c.kept);
    const CommandRun result = run(c.command, c.args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.err.find("is the same file as"), std::string::npos) << result.err;
    EXPECT_EQ(readFile(c.kept), before);
  }
  // extract still writes the entries that do not land on the installer.
  EXPECT_EQ(readFile(folder / "out/Sunset.ssd"), data);
}

// ---- ssd ---------------------------------------------------------------------------------------

TEST_F(PqpackInspect, SsdWritesTheHeaderThenTheContent) {
  const Bytes content = compressibleBytes(1000, 4);
  writeFile(folder / "content", content);
  ASSERT_EQ(run("ssd", {"--quicktime-level", "3", folder / "content", folder / "Out.ssd"}).status, 0);
  const Bytes file = readFile(folder / "Out.ssd");
  ASSERT_EQ(file.size(), 64u + 1000u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), bytesOf(std::string("PQSSD\0", 6)));
  EXPECT_EQ(file[6] | file[7] << 8, 1);
  EXPECT_EQ(pq::loadLittleEndian32(&file[8]), 3u);
  EXPECT_EQ(pq::loadLittleEndian32(&file[12]), 64u);
  EXPECT_EQ(pq::loadLittleEndian32(&file[16]), 1000u);
  EXPECT_EQ(pq::loadLittleEndian32(&file[20]), 0u);
  EXPECT_EQ(pq::loadLittleEndian32(&file[24]), pq::crc32Of(content.data(), content.size()));
  EXPECT_TRUE(std::all_of(file.begin() + 28, file.begin() + 64, [](uint8_t byte) { return byte == 0; }));
  EXPECT_EQ(Bytes(file.begin() + 64, file.end()), content);

  pqpack::DataFileHeader header;
  ASSERT_TRUE(pqpack::readDataFileHeader(file, &header));
  EXPECT_EQ(header.quickTimeLevel, 3);
  EXPECT_EQ(header.contentLength, 1000u);
}

TEST_F(PqpackInspect, SsdLevelsAreReadBackByTheInstallersOwnReader) {
  writeFile(folder / "empty", {});
  pq::SimOs sim(folder.path / "machine");
  pq::ScopedSimOs scope(sim);
  for (const char* level : {"0", "2", "3", "-1", "-2147483648"}) {
    SCOPED_TRACE(level);
    ASSERT_EQ(run("ssd", {"--quicktime-level", level, folder / "empty", folder / "Level.ssd"}).status, 0);
    const Bytes file = readFile(folder / "Level.ssd");
    EXPECT_EQ(file.size(), 64u);
    sim.putFile("C:\\WINDOWS\\Level.ssd", std::string(file.begin(), file.end()));
    EXPECT_EQ(readRequiredQuickTimeLevel("C:\\WINDOWS\\Level.ssd"), std::stoll(level));
  }
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(PqpackInspect, SsdRefusesBadLevelsAndMissingInput) {
  writeFile(folder / "content", bytesOf("x"));
  for (const char* level : {"", "abc", "3x", "1.5", "2147483648", "-2147483649"}) {
    SCOPED_TRACE(level);
    const CommandRun result = run("ssd", {"--quicktime-level", level, folder / "content", folder / "Out.ssd"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("is not a 32-bit whole number"), std::string::npos) << result.err;
  }
  // A level the installer never finds installed is refused, not written.
  const CommandRun unmet = run("ssd", {"--quicktime-level", "4", folder / "content", folder / "Out.ssd"});
  EXPECT_EQ(unmet.status, 1);
  EXPECT_EQ(unmet.err.rfind("pqpack ssd: --quicktime-level: QuickTime level 4, above 3", 0), 0u) << unmet.err;
  EXPECT_EQ(run("ssd", {folder / "content", folder / "Out.ssd"}).status, 2);
  EXPECT_EQ(run("ssd", {"--quicktime-level"}).status, 2);
  EXPECT_EQ(run("ssd", {"--quicktime-level", "1", folder / "content"}).status, 2);
  const CommandRun missing = run("ssd", {"--quicktime-level", "1", folder / "absent", folder / "Out.ssd"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no such file"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.path / "Out.ssd"));
}

TEST(PqpackSamples, SampleDataFilesRequireNoQuickTimeAndHoldTheirContentWhole) {
  for (const char* name : {"Sunset.ssd", "Show.ssd"}) {
    SCOPED_TRACE(name);
    const Bytes file = readFile(std::string(PQ_SOURCE_DIR) + "/tools/samples/" + name);
    pqpack::DataFileHeader header;
    ASSERT_TRUE(pqpack::readDataFileHeader(file, &header));
    EXPECT_EQ(header.version, kDataFileVersion);
    EXPECT_EQ(header.quickTimeLevel, 0);
    EXPECT_EQ(header.headerSize, 64u);
    ASSERT_EQ(header.contentLength, file.size() - 64);
    EXPECT_EQ(header.contentCrc, pq::crc32Of(file.data() + 64, file.size() - 64));
  }
}

} // namespace
