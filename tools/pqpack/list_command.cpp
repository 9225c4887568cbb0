// pqpack list: the mode and the six directory entries of an installer, one line each.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "installer_image.h"
#include "program_version.h"

namespace {

const char kListHelp[] =
    "usage: pqpack list INSTALLER\n"
    "\n"
    "Shows the installer's mode (screen saver or movie, from entry 2's extension), the program's\n"
    "version information when it has any (product name and file version), and its six\n"
    "directory entries: index, kind, stored or compressed, first and last stored byte, stored\n"
    "and expanded sizes, and name.\n";

} // namespace

int commandList(const Args& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kListHelp, stdout);
    return 0;
  }
  if (args.size() != 1) {
    std::fprintf(stderr, "pqpack list: give exactly one INSTALLER\n\n%s", kListHelp);
    return 2;
  }
  pqpack::InstallerImage image;
  std::string problem;
  if (!pqpack::readInstallerImage(args[0], &image, &problem)) {
    std::fprintf(stderr, "pqpack list: %s\n", problem.c_str());
    return 1;
  }
  std::printf("%s: %s installer, %llu bytes\n", args[0].c_str(), pqpack::installerMode(image).c_str(),
              static_cast<unsigned long long>(image.fileSize));
  pqpack::VersionInfo version;
  if (pqpack::readProgramVersion(args[0], &version)) {
    std::printf("program: %s\n", pqpack::versionSummary(version).c_str());
  }
  std::printf("%s\n", pqpack::listingHeader().c_str());
  for (int index = 0; index < kDirectoryEntryCount; ++index) {
    std::printf("%s\n", pqpack::listingLine(index, image.entries[index]).c_str());
  }
  return 0;
}
