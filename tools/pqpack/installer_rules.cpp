// The rules of installer_rules.h, and verify's reading of an installer through them.
#include "installer_rules.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "ansi_text.h"
#include "archive/entry_rules.h"
#include "compression/implode.h"
#include "file_io.h"
#include "installer/program_identity.h"
#include "installer_image.h"
#include "pe_image.h"
#include "platform/win_path.h"
#include "program_version.h"
#include "signature.h"

namespace pqpack {

// ---- The program ---------------------------------------------------------------------------

void checkProgram(const std::vector<uint8_t>& program, Findings* findings) {
  const std::string reason = installerProgramProblem(program);
  if (!reason.empty()) {
    addProblem(findings, FindingCode::ProgramUnusable, kNoEntry,
               "the installer program " + reason + "; it must be a 32-bit Windows GUI program: give pqsetup.exe");
    return;
  }
  VersionInfo version;
  const bool hasVersion = readVersionInfo(program, &version);
  if (!hasVersion || version.text("ProductName") != kInstallerProductName ||
      version.text("InternalName") != kInstallerInternalName) {
    const std::string wanted = std::string(kInstallerProductName) + " (" + kInstallerInternalName + ")";
    const std::string found = hasVersion ? "its version information names it \"" + version.text("ProductName") +
                                               "\" (" + version.text("InternalName") + "), not " + wanted
                                         : "it has no version information naming it " + wanted;
    addProblem(findings, FindingCode::ProgramNotInstaller, kNoEntry,
               "the installer program is not pqsetup.exe: " + found +
                   ", so it would run in the user's hands without installing anything; give pqsetup.exe");
  }
  PeHeaders headers;
  std::string ignored;
  readPeHeaders(ByteView(program), &headers, &ignored);
  // Installers built before pqsetup.exe was large-address-aware work for the entries of their
  // day: a warning, which leaves them to extract.
  if (!headers.isLargeAddressAware()) {
    addWarning(findings, FindingCode::ProgramNotLargeAddressAware, kNoEntry,
               "the installer program is not large-address-aware: it reads each entry whole into memory, and "
               "without the 4 GB of address space that 64-bit Windows gives a large-address-aware program, "
               "an entry of a gigabyte fails to install; give a current pqsetup.exe");
  }
}

// ---- The directory -------------------------------------------------------------------------

namespace {

void checkProgramEntry(const TInstallFileInfo& entry, Findings* findings) {
  auto expect = [&](const char* field, int64_t actual, int64_t wanted) {
    if (actual != wanted) {
      addProblem(findings, FindingCode::ProgramEntry, kProgramEntry,
                 std::string(field) + " is " + std::to_string(actual) + ", not " + std::to_string(wanted));
    }
  };
  if (entryName(entry) != kProgramEntryName) {
    addProblem(findings, FindingCode::ProgramEntry, kProgramEntry,
               "name is '" + displayName(entryName(entry)) + "', not '" + kProgramEntryName + "'");
  }
  expect("startOffset", entry.startOffset, 0);
  expect("stopOffset", entry.stopOffset, DIRECTORY_OFFSET - 1);
  expect("kind", entry.fileType, kFileType_Main);
  expect("isZipped", entry.isZipped, 0);
  expect("zippedSize", entry.zippedSize, 0);
  expect("unzippedSize", entry.unzippedSize, DIRECTORY_OFFSET);
}

void checkPlacement(const Directory& entries, int index, uint64_t fileSize, bool signedFile, Findings* findings) {
  const TInstallFileInfo& entry = entries[index];
  const auto misplaced = [&](const std::string& text) {
    addProblem(findings, FindingCode::EntryPlacement, index, text);
  };
  if (index == kFirstExtractedEntry) {
    if (entry.startOffset != kFirstEntryOffset) {
      misplaced("starts at " + std::to_string(entry.startOffset) + ", not right after the directory table at " +
                std::to_string(kFirstEntryOffset));
    }
  } else {
    const int64_t previousStop = entries[index - 1].stopOffset;
    if (entry.startOffset != previousStop + 1) {
      misplaced("starts at " + std::to_string(entry.startOffset) + ", not right after entry " +
                std::to_string(index - 1) + " at " + std::to_string(previousStop + 1));
    }
  }
  // In a signed installer the certificate table follows entry 5 (its own checks: signature.cpp).
  if (index == kLastExtractedEntry && !signedFile &&
      static_cast<uint64_t>(static_cast<int64_t>(entry.stopOffset) + 1) != fileSize) {
    misplaced("ends at " + std::to_string(entry.stopOffset) + ", but the file's last byte is " +
              std::to_string(fileSize - 1));
  }
  if (entry.startOffset >= 0 && entry.startOffset < kFirstEntryOffset && entry.startOffset <= entry.stopOffset) {
    misplaced("starts at " + std::to_string(entry.startOffset) + ", inside the program or the directory table");
  }
  const std::string range = storedRangeProblem(entry, fileSize);
  if (!range.empty()) addProblem(findings, FindingCode::EntryRange, index, range);
}

void checkKind(int index, const TInstallFileInfo& entry, Findings* findings) {
  const std::string kind = "kind " + std::to_string(entry.fileType);
  if (entry.fileType < kFileType_Plain || entry.fileType > kFileType_Data) {
    addProblem(findings, FindingCode::EntryKind, index, kind + " is not one of 1 to 4");
  }
  if (index == kLibraryEntry) {
    if (entry.fileType != kFileType_Library) {
      addProblem(findings, FindingCode::LibraryEntry, index, kind + ", not 3: entry 1 must be the compression library");
    }
    if (entry.isZipped != 0) {
      addProblem(findings, FindingCode::LibraryEntry, index, "compressed, but the compression library must be stored");
    }
    const std::string landing = landingName(entryName(entry), kFileType_Library);
    if (pq::asciiLower(landing) != kLibraryFileName) {
      addProblem(findings, FindingCode::LibraryEntry, index,
                 "lands as '" + displayName(landing) + "', not as '" + kLibraryFileName +
                     "', where compressed entries are expanded from");
    }
  }
  if (index == kDataEntry && entry.fileType != kFileType_Data) {
    addProblem(findings, FindingCode::EntryKind, index, kind + ", not 4: entry 3 must be the data file");
  }
}

void checkSizes(int index, const TInstallFileInfo& entry, Findings* findings) {
  const int32_t stored = storedSize(entry);
  const auto wrong = [&](const std::string& text) { addProblem(findings, FindingCode::EntrySizes, index, text); };
  if (entry.isZipped == 0) {
    if (entry.zippedSize != 0) {
      wrong("zippedSize is " + std::to_string(entry.zippedSize) + " for a stored entry, not 0");
    }
    if (entry.unzippedSize != stored) {
      wrong("unzippedSize is " + std::to_string(entry.unzippedSize) + ", but it stores " + std::to_string(stored) +
            " bytes");
    }
  } else if (entry.zippedSize != stored) {
    wrong("zippedSize is " + std::to_string(entry.zippedSize) + ", but it stores " + std::to_string(stored) + " bytes");
  }
}

bool hasKnownKind(const TInstallFileInfo& entry) {
  return entry.fileType >= kFileType_Plain && entry.fileType <= kFileType_Data;
}

// A free slot of entry 4 or 5 as build fills it: a stored copy of the compression library
// under its name, which lands on the same file with the same bytes (checkEntryFile compares
// them).
bool repeatsTheLibrary(const Directory& entries, int index) {
  const TInstallFileInfo& entry = entries[index];
  const TInstallFileInfo& library = entries[kLibraryEntry];
  return index > kDataEntry && entryName(entry) == entryName(library) && entry.fileType == kFileType_Library &&
         library.fileType == kFileType_Library && entry.isZipped == 0 && library.isZipped == 0 &&
         storedSize(entry) == storedSize(library) && entry.unzippedSize == library.unzippedSize;
}

// No entry may land on another's file, which it would replace at install time, nor share its
// stored name, under which extract writes it; but a free slot, which lands on the library's
// file with the library's bytes, and which any other entry there is found to clash with.
void checkClashes(const Directory& entries, InstallMode mode, Findings* findings) {
  for (int later = kFirstExtractedEntry + 1; later <= kLastExtractedEntry; ++later) {
    const TInstallFileInfo& entry = entries[later];
    if (!hasKnownKind(entry) || !pq::isSafeEntryName(entryName(entry)) || repeatsTheLibrary(entries, later)) continue;
    for (int earlier = kFirstExtractedEntry; earlier < later; ++earlier) {
      const TInstallFileInfo& other = entries[earlier];
      if (!hasKnownKind(other) || !pq::isSafeEntryName(entryName(other))) continue;
      const std::string landing = landingName(entryName(entry), entry.fileType);
      const std::string otherLabel = entryLabel(earlier, other);
      if (landsInWindowsDirectory(entry.fileType, mode) == landsInWindowsDirectory(other.fileType, mode) &&
          pq::pathsEqual(landing, landingName(entryName(other), other.fileType))) {
        addProblem(findings, FindingCode::EntryNameClash, later,
                   "it would be installed as '" + displayName(landing) + "', as " + otherLabel + " is: " +
                       (earlier == kLibraryEntry ? "it would replace the compression library"
                                                 : "one would replace the other"));
        break;
      }
      if (pq::pathsEqual(pq::createdFileName(entryName(entry)), pq::createdFileName(entryName(other)))) {
        addProblem(findings, FindingCode::EntryNameClash, later,
                   "it is stored under the name of " + otherLabel + ": extracting one would replace the other");
        break;
      }
    }
  }
}

} // namespace

void checkDirectory(const Directory& entries, uint64_t fileSize, bool signedFile, Findings* findings) {
  if (fileSize > kMaximumInstallerSize) {
    addProblem(findings, FindingCode::FileTooLarge, kNoEntry, std::to_string(fileSize) + " bytes, not below 2 GiB");
  }
  checkProgramEntry(entries[kProgramEntry], findings);
  const InstallMode mode = installModeOf(entryName(entries[kMainEntry]));
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    const TInstallFileInfo& entry = entries[index];
    checkStoredName(index, entryName(entry), entry.fileType, mode, findings);
    checkKind(index, entry, findings);
    checkPlacement(entries, index, fileSize, signedFile, findings);
    checkSizes(index, entry, findings);
  }
  checkClashes(entries, mode, findings);
}

// ---- Each entry's file ---------------------------------------------------------------------

EntryScan::EntryScan(int index) : index(index) {}

bool EntryScan::write(const void* data, size_t count, std::string* problem) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  const size_t toHead = std::min(count, kImageHeadSize - head.size());
  head.insert(head.end(), bytes, bytes + toHead);
  if (index == kLibraryEntry && size + count <= kMaximumLibrarySize) {
    library.insert(library.end(), bytes, bytes + count);
  }
  if (index == kDataEntry) dataFile.write(data, count, problem);
  runningCrc = pq::crc32Update(runningCrc, bytes, count);
  size += count;
  return true;
}

void checkEntryFile(const Directory& entries, int index, const EntryScan& scan, const EntryScan* library,
                    Findings* findings) {
  if (index == kLibraryEntry) {
    std::string reason = compressionLibrarySizeProblem(scan.size);
    if (reason.empty()) reason = compressionLibraryProblem(scan.library);
    if (!reason.empty()) {
      addProblem(findings, FindingCode::LibraryUnusable, index,
                 "the compression library " + reason +
                     "; the installer loads it as impborl.dll to expand the compressed entries and calls its "
                     "_implode, _explode and _crc32, so it must be a 32-bit Windows DLL exporting them: give "
                     "the impborl.dll built with pqpack");
    }
    return;
  }
  if (index == kMainEntry && isScreenSaverName(entryName(entries[kMainEntry]))) {
    const std::string reason = saverProgramProblem(scan.head);
    if (!reason.empty()) {
      addProblem(findings, FindingCode::SaverNotProgram, index,
                 "the screen saver " + reason + "; Windows runs a .scr file as a program, so it must be a "
                                                "32-bit Windows program");
    }
  }
  if (index == kDataEntry) {
    // A program's bytes at offset 8 would read as a QuickTime level: its own finding says more.
    if (isWindowsImage(scan.head)) {
      addProblem(findings, FindingCode::DataFileIsProgram, index,
                 "it is a Windows program, not a data file: were the main file and the data file given the "
                 "other way round? (pqpack build -o OUT MAIN DATA [LIB...])");
    } else {
      scan.dataFile.check(index, findings);
    }
  }
  if (index > kDataEntry && entries[index].fileType == kFileType_Library) {
    if (repeatsTheLibrary(entries, index)) {
      if (library != nullptr && (scan.size != library->size || scan.crc() != library->crc())) {
        addProblem(findings, FindingCode::EntryNameClash, index,
                   "it repeats the compression library's name and size, but not its bytes: it would replace "
                   "the library of entry 1");
      }
      return;
    }
    const std::string reason = supportLibraryProblem(scan.head);
    if (!reason.empty()) {
      addProblem(findings, FindingCode::SupportLibraryUnusable, index,
                 "the support library " + reason +
                     "; it is installed as a DLL in the Windows directory, so it must be a 32-bit Windows DLL");
    }
  }
}

// ---- verify --------------------------------------------------------------------------------

namespace {

using Subject = std::function<std::string(const Finding&)>;

// Adds `found` to `to`, each sentence after its subject.
void addFindings(const std::vector<Finding>& found, const Subject& subject, std::vector<Finding>* to) {
  for (const Finding& finding : found) {
    to->push_back({finding.code, finding.entry, subject(finding) + ": " + finding.message});
  }
}
void addFindings(const Findings& found, const Subject& subject, Findings* to) {
  addFindings(found.problems, subject, &to->problems);
  addFindings(found.warnings, subject, &to->warnings);
}

// The stored bytes of a compressed entry start with the stream's header as every entry is
// written: binary literals, a 4096-byte dictionary.
void checkStreamHeader(const std::string& path, const InstallerImage& image, int index, Findings* findings) {
  const TInstallFileInfo& entry = image.entries[index];
  uint8_t head[2] = {};
  const size_t got = InputFile(path).readUpTo(static_cast<uint64_t>(entry.startOffset), head,
                                               std::min<size_t>(2, static_cast<size_t>(storedSize(entry))));
  if (got < 2 || head[0] != 0x00 || head[1] != 0x06) {
    char found[32];
    std::snprintf(found, sizeof found, "%02X %02X", got < 1 ? 0 : head[0], got < 2 ? 0 : head[1]);
    addProblem(findings, FindingCode::StreamHeader, index,
               entryLabel(index, entry) + ": compressed stream starts " + found + ", not 00 06");
  }
}

} // namespace

Findings checkInstaller(const std::string& path) {
  Findings findings;
  InstallerImage image;
  std::string problem;
  if (!readInstallerImage(path, &image, &problem)) {
    addProblem(&findings, FindingCode::FileUnreadable, kNoEntry, problem);
    return findings;
  }
  const Directory& entries = image.entries;
  const Subject entrySubject = [&](const Finding& finding) {
    if (finding.entry == kNoEntry) return std::string("file");
    return finding.entry == kProgramEntry ? std::string("entry 0") : entryLabel(finding.entry, entries[finding.entry]);
  };
  Findings found;
  checkProgram(readProgramBytes(path), &found);
  addFindings(found, [](const Finding&) { return std::string("program"); }, &findings);

  found = Findings{};
  checkDirectory(entries, image.fileSize, image.certificate.present(), &found);
  addFindings(found, entrySubject, &findings);

  found = Findings{};
  EntryScan library(kLibraryEntry);
  bool libraryRead = false;
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    const TInstallFileInfo& entry = entries[index];
    // Bytes the directory already misplaces or mismeasures are not read as a file.
    const bool unreadable = std::any_of(findings.problems.begin(), findings.problems.end(), [&](const Finding& found) {
      return found.entry == index && (found.code == FindingCode::EntryRange || found.code == FindingCode::EntrySizes);
    });
    if (unreadable) continue;
    if (entry.isZipped != 0) checkStreamHeader(path, image, index, &findings);
    EntryScan own(index);
    EntryScan& scan = index == kLibraryEntry ? library : own;
    if (!readEntryFile(path, image, index, scan, &problem)) {
      addProblem(&findings, FindingCode::EntryContents, index, problem);
      continue;
    }
    libraryRead = libraryRead || index == kLibraryEntry;
    checkEntryFile(entries, index, scan, libraryRead ? &library : nullptr, &found);
  }
  addFindings(found, entrySubject, &findings);

  findings.isSigned = image.certificate.present();
  if (findings.isSigned) {
    const SignatureReport report = checkSignature(path, image);
    findings.signer = report.signer;
    const Subject signature = [](const Finding&) { return std::string("signature"); };
    addFindings(report.problems, signature, &findings.problems);
    addFindings(report.warnings, signature, &findings.warnings);
  }
  return findings;
}

bool entryMayBeWritten(const Findings& findings, int index) {
  return std::none_of(findings.problems.begin(), findings.problems.end(), [index](const Finding& problem) {
    return problem.entry == index || (problem.entry == kNoEntry && problem.code != FindingCode::SignatureUnchecked);
  });
}

} // namespace pqpack
