// verify's findings: every way an installer departs from one as produced.
#include <algorithm>
#include <cstdio>

#include "ansi_text.h"
#include "data_file.h"
#include "file_io.h"
#include "installer_image.h"
#include "pe_image.h"
#include "signature.h"
#include "platform/win_path.h"

namespace pqpack {

namespace {

using Problems = std::vector<Finding>;

void checkProgramEntry(const TInstallFileInfo& entry, Problems* problems) {
  auto add = [&](const std::string& message) { problems->push_back({FindingCode::ProgramEntry, 0, message}); };
  auto expect = [&](const char* field, int64_t actual, int64_t wanted) {
    if (actual != wanted) {
      add("entry 0: " + std::string(field) + " is " + std::to_string(actual) + ", not " + std::to_string(wanted));
    }
  };
  if (entryName(entry) != kProgramEntryName) {
    add("entry 0: name is '" + displayName(entryName(entry)) + "', not '" + kProgramEntryName + "'");
  }
  expect("startOffset", entry.startOffset, 0);
  expect("stopOffset", entry.stopOffset, DIRECTORY_OFFSET - 1);
  expect("kind", entry.fileType, kFileType_Main);
  expect("isZipped", entry.isZipped, 0);
  expect("zippedSize", entry.zippedSize, 0);
  expect("unzippedSize", entry.unzippedSize, DIRECTORY_OFFSET);
}

void checkPlacement(const InstallerImage& image, int index, Problems* problems) {
  const TInstallFileInfo& entry = image.entries[index];
  const std::string label = entryLabel(index, entry);
  auto add = [&](const std::string& message) {
    problems->push_back({FindingCode::EntryPlacement, index, message});
  };
  if (index == kFirstExtractedEntry) {
    if (entry.startOffset != kFirstEntryOffset) {
      add(label + ": starts at " + std::to_string(entry.startOffset) +
                          ", not right after the directory table at " + std::to_string(kFirstEntryOffset));
    }
  } else {
    const int64_t previousStop = image.entries[index - 1].stopOffset;
    if (entry.startOffset != previousStop + 1) {
      add(label + ": starts at " + std::to_string(entry.startOffset) + ", not right after entry " +
                          std::to_string(index - 1) + " at " + std::to_string(previousStop + 1));
    }
  }
  // In a signed installer the certificate table follows entry 5 (its own checks: signature.cpp).
  if (index == kLastExtractedEntry && !image.certificate.present() &&
      static_cast<uint64_t>(static_cast<int64_t>(entry.stopOffset) + 1) != image.fileSize) {
    add(label + ": ends at " + std::to_string(entry.stopOffset) + ", but the file's last byte is " +
                        std::to_string(image.fileSize - 1));
  }
  if (entry.startOffset >= 0 && entry.startOffset < kFirstEntryOffset && entry.startOffset <= entry.stopOffset) {
    add(label + ": starts at " + std::to_string(entry.startOffset) +
                        ", inside the program or the directory table");
  }
}

void checkKind(int index, const TInstallFileInfo& entry, Problems* problems) {
  const std::string label = entryLabel(index, entry);
  auto add = [&](FindingCode code, const std::string& message) { problems->push_back({code, index, message}); };
  if (entry.fileType < kFileType_Plain || entry.fileType > kFileType_Data) {
    add(FindingCode::EntryKind, label + ": kind " + std::to_string(entry.fileType) + " is not one of 1 to 4");
  }
  if (index == 1) {
    if (entry.fileType != kFileType_Library) {
      add(FindingCode::LibraryEntry,
          label + ": kind " + std::to_string(entry.fileType) + ", not 3: entry 1 must be the compression library");
    }
    if (entry.isZipped != 0) {
      add(FindingCode::LibraryEntry, label + ": compressed, but the compression library must be stored");
    }
    if (pq::asciiLower(landingName(entryName(entry), kFileType_Library)) != kLibraryFileName) {
      add(FindingCode::LibraryEntry, label + ": lands as '" + displayName(landingName(entryName(entry), kFileType_Library)) +
                                         "', not as '" + kLibraryFileName + "', where compressed entries are expanded from");
    }
  }
  if (index == kDataEntry && entry.fileType != kFileType_Data) {
    add(FindingCode::EntryKind, label + ": kind " + std::to_string(entry.fileType) + ", not 4: entry 3 must be the data file");
  }
}

void checkSizes(int index, const TInstallFileInfo& entry, Problems* problems) {
  const std::string label = entryLabel(index, entry);
  auto add = [&](const std::string& message) { problems->push_back({FindingCode::EntrySizes, index, message}); };
  const int32_t stored = storedSize(entry);
  if (entry.isZipped == 0) {
    if (entry.zippedSize != 0) {
      add(label + ": zippedSize is " + std::to_string(entry.zippedSize) + " for a stored entry, not 0");
    }
    if (entry.unzippedSize != stored) {
      add(label + ": unzippedSize is " + std::to_string(entry.unzippedSize) + ", but it stores " +
                          std::to_string(stored) + " bytes");
    }
  } else if (entry.zippedSize != stored) {
    add(label + ": zippedSize is " + std::to_string(entry.zippedSize) + ", but it stores " +
                        std::to_string(stored) + " bytes");
  }
}

// What verify looks at in an entry's file as it passes: its size, the data file's header and
// content, and the compression library's bytes, which are small enough to be kept.
class EntryContents : public ByteSink {
public:
  explicit EntryContents(int index) : index(index), librarySink(&library) {}
  bool write(const void* data, size_t size, std::string* problem) override {
    if (index == kDataEntry) dataFile.write(data, size, problem);
    if (index == kFirstExtractedEntry && count + size <= kMaximumLibrarySize) librarySink.write(data, size, problem);
    count += size;
    return true;
  }

  const int index;
  uint64_t count = 0;
  DataFileScan dataFile;
  std::vector<uint8_t> library;

private:
  MemorySink librarySink;
};

void checkContents(const std::string& path, const InstallerImage& image, int index, Findings* findings) {
  const TInstallFileInfo& entry = image.entries[index];
  const std::string label = entryLabel(index, entry);
  const std::string rangeProblem = storedRangeProblem(image, index);
  if (!rangeProblem.empty()) {
    findings->problems.push_back({FindingCode::EntryRange, index, rangeProblem});
    return;
  }
  if (entry.isZipped != 0) {
    uint8_t head[2] = {};
    const size_t got = InputFile(path).readUpTo(static_cast<uint64_t>(entry.startOffset), head,
                                                 std::min<size_t>(2, static_cast<size_t>(storedSize(entry))));
    if (got < 2 || head[0] != 0x00 || head[1] != 0x06) {
      char found[32];
      std::snprintf(found, sizeof found, "%02X %02X", got < 1 ? 0 : head[0], got < 2 ? 0 : head[1]);
      findings->problems.push_back({FindingCode::StreamHeader, index, label + ": compressed stream starts " + found + ", not 00 06"});
    }
  }
  EntryContents contents(index);
  std::string problem;
  if (!readEntryFile(path, image, index, contents, &problem)) {
    findings->problems.push_back({FindingCode::EntryContents, index, problem});
    return;
  }
  if (index == kFirstExtractedEntry) {
    std::string reason = compressionLibrarySizeProblem(contents.count);
    if (reason.empty()) reason = compressionLibraryProblem(contents.library);
    if (!reason.empty()) {
      findings->problems.push_back({FindingCode::LibraryUnusable, index,
                                    label + ": the compression library " + reason +
                                        "; the installer could not load it to expand the compressed entries"});
    }
  }
  if (index == kDataEntry) {
    const std::string reason = contents.dataFile.problem();
    if (!reason.empty()) findings->problems.push_back({FindingCode::DataFile, index, label + ": the data file: " + reason});
    const std::string warning = contents.dataFile.warning();
    if (!warning.empty()) {
      findings->warnings.push_back({FindingCode::DataFileLevel, index, label + ": the data file: " + warning});
    }
  }
}

void checkNames(int index, const TInstallFileInfo& entry, Findings* findings) {
  const std::string name = entryName(entry);
  const std::string reason = storedNameProblem(name, entry.fileType);
  if (!reason.empty()) findings->problems.push_back({FindingCode::EntryName, index, entryLabel(index, entry) + ": " + reason});
  const std::string warning = utf8NameWarning(name);
  if (!warning.empty()) {
    findings->warnings.push_back({FindingCode::EntryNameEncoding, index, entryLabel(index, entry) + ": " + warning});
  }
}

// The installer program must run on the user's Windows.
void checkProgram(const std::string& path, Findings* findings) {
  const std::string reason = installerProgramProblem(readProgramBytes(path));
  if (!reason.empty()) {
    findings->problems.push_back({FindingCode::ProgramUnusable, kNoEntry,
                                  "program: the installer program " + reason + "; it must be a 32-bit Windows GUI program"});
  }
}

// A signature must sit in one certificate table right behind entry 5 and hold for every byte.
void checkSigning(const std::string& path, const InstallerImage& image, Findings* findings) {
  findings->isSigned = image.certificate.present();
  if (!findings->isSigned) return;
  const SignatureReport report = checkSignature(path, image);
  findings->signer = report.signer;
  for (Finding problem : report.problems) {
    problem.message = "signature: " + problem.message;
    findings->problems.push_back(problem);
  }
  for (Finding warning : report.warnings) {
    warning.message = "signature: " + warning.message;
    findings->warnings.push_back(warning);
  }
}

} // namespace

Findings checkInstaller(const std::string& path) {
  Findings findings;
  Problems& problems = findings.problems;
  InstallerImage image;
  std::string problem;
  if (!readInstallerImage(path, &image, &problem)) {
    problems.push_back({FindingCode::FileUnreadable, kNoEntry, problem});
    return findings;
  }
  if (image.fileSize > kMaximumInstallerSize) {
    problems.push_back(
        {FindingCode::FileTooLarge, kNoEntry, "file: " + std::to_string(image.fileSize) + " bytes, not below 2 GiB"});
  }
  checkProgram(path, &findings);
  checkProgramEntry(image.entries[0], &problems);
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    const TInstallFileInfo& entry = image.entries[index];
    checkNames(index, entry, &findings);
    checkKind(index, entry, &problems);
    checkPlacement(image, index, &problems);
    checkSizes(index, entry, &problems);
    checkContents(path, image, index, &findings);
  }
  checkSigning(path, image, &findings);
  return findings;
}

} // namespace pqpack
