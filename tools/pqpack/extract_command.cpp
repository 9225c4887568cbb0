// pqpack extract: writes entries 1 to 5 of an installer into a folder under their stored
// names, expanding the compressed ones.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ansi_text.h"
#include "commands.h"
#include "console_text.h"
#include "file_io.h"
#include "installer_image.h"
#include "platform/win_path.h"

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

  int failures = 0;
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    const std::string name = entryName(image.entries[index]);
    // The safe-name rule rules out separators, drives and dot names, so the result is a
    // direct child of the folder. The file gets the name as this system writes it, without
    // the tail of blanks and control characters that Windows would not keep either.
    const std::string reason = unsafeNameReason(name);
    if (!reason.empty()) {
      printLine(stderr, "pqpack extract: entry " + std::to_string(index) + " refused: " + reason);
    } else if (const std::string destination = textOf(folder / pathOf(displayName(pq::createdFileName(name))));
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
  return failures == 0 ? kExit_Done : kExit_Failure;
}

} // namespace pqpack
