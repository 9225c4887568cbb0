// pqpack ssd: a data file with a chosen QuickTime requirement (its header: system/data_file_header.h).
#include <cstdio>

#include "commands.h"
#include "data_file.h"
#include "file_io.h"
#include "installer_image.h"

namespace pqpack {

int runSsd(const SsdRequest& request) {
  std::vector<uint8_t> content;
  std::string problem;
  if (!checkOutputIsNoInput(request.output, {{"CONTENT", request.content}}, &problem) ||
      !readWholeFile(request.content, kMaximumInstallerSize - kDataFileHeaderSize, &content, &problem) ||
      !writeWholeFile(request.output, makeDataFile(request.quickTimeLevel, content), &problem)) {
    std::fprintf(stderr, "pqpack ssd: %s\n", problem.c_str());
    return kExit_Failure;
  }
  return kExit_Done;
}

} // namespace pqpack
