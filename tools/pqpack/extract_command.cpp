// pqpack extract: writes entries 1 to 5 of an installer into a folder under their stored
// names, expanding the compressed ones.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ansi_text.h"
#include "commands.h"
#include "file_io.h"
#include "installer_image.h"
#include "platform/win_path.h"

namespace pqpack {

int runExtract(const ExtractRequest& request) {
  const std::filesystem::path folder = pathOf(request.folder);
  InstallerImage image;
  std::string problem;
  if (!readInstaller(request.installer, &image, &problem)) {
    std::fprintf(stderr, "pqpack extract: %s\n", problem.c_str());
    return kExit_Failure;
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) {
    std::fprintf(stderr, "pqpack extract: cannot make the folder '%s'\n", request.folder.c_str());
    return kExit_Failure;
  }

  int failures = 0;
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    const std::string name = entryName(image.entries[index]);
    // The safe-name rule rules out separators, drives and dot names, so the result is a
    // direct child of the folder. The file gets the name as this system writes it, without
    // the tail of blanks and control characters that Windows would not keep either.
    const std::string reason = unsafeNameReason(name);
    std::vector<uint8_t> bytes;
    if (!reason.empty()) {
      std::fprintf(stderr, "pqpack extract: entry %d refused: %s\n", index, reason.c_str());
    } else if (const std::string destination = textOf(folder / pathOf(displayName(pq::createdFileName(name))));
               !checkOutputIsNoInput(destination, {{"INSTALLER", request.installer}}, &problem)) {
      std::fprintf(stderr, "pqpack extract: entry %d refused: %s\n", index, problem.c_str());
    } else if (!readEntryFile(request.installer, image, index, &bytes, &problem)) {
      std::fprintf(stderr, "pqpack extract: %s\n", problem.c_str());
    } else if (!writeWholeFile(destination, bytes, &problem)) {
      std::fprintf(stderr, "pqpack extract: entry %d: %s\n", index, problem.c_str());
    } else {
      std::printf("%s\n", destination.c_str());
      continue;
    }
    ++failures;
  }
  return failures == 0 ? kExit_Done : kExit_Failure;
}

} // namespace pqpack
