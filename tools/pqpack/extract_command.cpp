// pqpack extract: writes entries 1 to 5 of an installer into a folder under their stored
// names, expanding the compressed ones; an entry that verify finds a problem with, or whose
// file verify finds one with, is refused, and nothing is written for it.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ansi_text.h"
#include "commands.h"
#include "console_text.h"
#include "file_io.h"
#include "installer_image.h"
#include "installer_rules.h"

namespace pqpack {

namespace {

// Writes the file entry `index` stands for at `destination`, whole or not at all: it goes to
// a temporary file beside its place first.
bool writeEntryFile(const std::string& installer, const InstallerImage& image, int index,
                    const std::string& destination, std::string* problem) {
  AtomicOutput output(destination);
  if (!output.open(problem)) {
    *problem = "entry " + std::to_string(index) + ": " + *problem;
    return false;
  }
  if (!readEntryFile(installer, image, index, output, problem)) return false;
  if (!output.commit(problem)) {
    *problem = "entry " + std::to_string(index) + ": " + *problem;
    return false;
  }
  return true;
}

} // namespace

int runExtract(const ExtractRequest& request) {
  const std::filesystem::path folder = pathOf(request.folder);
  InstallerImage image;
  std::string problem;
  if (!readInstaller(request.installer, &image, &problem)) {
    printLine(stderr, "pqpack extract: " + problem);
    return kExit_Failure;
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) {
    printLine(stderr, "pqpack extract: cannot make the folder '" + request.folder + "'");
    return kExit_Failure;
  }

  // The rules verify applies, so that nothing verify refuses is written.
  const Findings findings = checkInstaller(request.installer);
  for (const Finding& found : findings.problems) printLine(stderr, "pqpack extract: " + found.message);
  int failures = 0;
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    const std::string name = entryName(image.entries[index]);
    // The name rules rule out separators, drives, dot names and a tail Windows drops, so the
    // destination is a direct child of the folder, under the name the installer writes.
    if (!entryMayBeWritten(findings, index)) {
      printLine(stderr, "pqpack extract: entry " + std::to_string(index) + " refused");
    } else if (const std::string destination = textOf(folder / pathOf(displayName(name)));
               !checkOutputIsNoInput(destination, {{"INSTALLER", request.installer}}, &problem)) {
      printLine(stderr, "pqpack extract: entry " + std::to_string(index) + " refused: " + problem);
    } else if (!writeEntryFile(request.installer, image, index, destination, &problem)) {
      printLine(stderr, "pqpack extract: " + problem);
    } else {
      printLine(stdout, destination);
      continue;
    }
    ++failures;
  }
  // A problem of entry 0, which is never written, fails the command all the same.
  const bool refused = std::any_of(findings.problems.begin(), findings.problems.end(),
                                   [](const Finding& found) { return found.code != FindingCode::SignatureUnchecked; });
  return failures == 0 && !refused ? kExit_Done : kExit_Failure;
}

} // namespace pqpack
