// pqpack list: the mode and the six directory entries of an installer, one line each.
#include <cstdio>

#include "commands.h"
#include "installer_image.h"
#include "program_version.h"

namespace pqpack {

int runList(const ListRequest& request) {
  InstallerImage image;
  std::string problem;
  if (!readInstallerImage(request.installer, &image, &problem)) {
    std::fprintf(stderr, "pqpack list: %s\n", problem.c_str());
    return kExit_Failure;
  }
  const std::string notInstaller = notAnInstallerReason(request.installer, image);
  if (!notInstaller.empty()) {
    std::fprintf(stderr, "pqpack list: '%s' is not an installer: %s\n", request.installer.c_str(), notInstaller.c_str());
    return kExit_Failure;
  }
  std::printf("%s: %s installer, %llu bytes\n", request.installer.c_str(), installerMode(image).c_str(),
              static_cast<unsigned long long>(image.fileSize));
  VersionInfo version;
  if (readProgramVersion(request.installer, &version)) {
    std::printf("program: %s\n", versionSummary(version).c_str());
  }
  std::printf("%s\n", listingHeader().c_str());
  for (int index = 0; index < kDirectoryEntryCount; ++index) {
    std::printf("%s\n", listingLine(index, image.entries[index]).c_str());
  }
  return kExit_Done;
}

} // namespace pqpack
