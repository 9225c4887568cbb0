// pqpack extract: writes entries 1 to 5 of an installer into a folder under their stored
// names, expanding the compressed ones.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "commands.h"
#include "file_io.h"
#include "installer_image.h"

namespace {

const char kExtractHelp[] =
    "usage: pqpack extract INSTALLER DIR\n"
    "\n"
    "Writes entries 1 to 5 into DIR (created if missing) under their stored names, expanding\n"
    "compressed entries; an existing file of the same name is replaced. An entry whose name is\n"
    "not a safe bare file name, or that cannot be read or expanded whole, is refused and\n"
    "nothing is written for it. Nothing is ever written outside DIR.\n";

} // namespace

int commandExtract(const Args& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kExtractHelp, stdout);
    return 0;
  }
  if (args.size() != 2) {
    std::fprintf(stderr, "pqpack extract: give INSTALLER and DIR\n\n%s", kExtractHelp);
    return 2;
  }
  const std::string& installer = args[0];
  const std::filesystem::path folder = args[1];
  pqpack::InstallerImage image;
  std::string problem;
  if (!pqpack::readInstallerImage(installer, &image, &problem)) {
    std::fprintf(stderr, "pqpack extract: %s\n", problem.c_str());
    return 1;
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) {
    std::fprintf(stderr, "pqpack extract: cannot make the folder '%s'\n", folder.string().c_str());
    return 1;
  }

  int failures = 0;
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    const std::string name = entryName(image.entries[index]);
    // The safe-name rule rules out separators, drives and dot names, so the result is a
    // direct child of the folder.
    const std::string reason = pqpack::unsafeNameReason(name);
    std::vector<uint8_t> bytes;
    if (!reason.empty()) {
      std::fprintf(stderr, "pqpack extract: entry %d refused: %s\n", index, reason.c_str());
    } else if (!pqpack::readEntryFile(installer, image, index, &bytes, &problem)) {
      std::fprintf(stderr, "pqpack extract: %s\n", problem.c_str());
    } else if (!pqpack::writeWholeFile(folder / name, bytes, &problem)) {
      std::fprintf(stderr, "pqpack extract: entry %d: %s\n", index, problem.c_str());
    } else {
      std::printf("%s\n", (folder / name).string().c_str());
      continue;
    }
    ++failures;
  }
  return failures == 0 ? 0 : 1;
}
