// pqpack ssd: a data file with a chosen QuickTime requirement (format in data_file.h).
#include <cstdio>

#include "commands.h"
#include "data_file.h"
#include "file_io.h"
#include "installer_image.h"

namespace {

const char kSsdHelp[] =
    "usage: pqpack ssd --quicktime-level N CONTENT OUT\n"
    "\n"
    "Writes OUT: a 64-byte header, then the bytes of CONTENT. The installer reads the signed\n"
    "32-bit level N at offset 8 and requires that QuickTime level when N is above 0 (2: QTim32.dll,\n"
    "3: QuickTime.qts). The rest of the header: \"PQSSD\\0\" at 0, version 1 at 6, header size 64\n"
    "at 12, content length (64-bit) at 16, CRC-32 of the content at 24, zeros to 64; all\n"
    "integers little-endian.\n";

} // namespace

int commandSsd(const Args& args) {
  std::string levelText;
  bool haveLevel = false;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::fputs(kSsdHelp, stdout);
      return 0;
    }
    if (args[i] == "--quicktime-level") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "pqpack ssd: --quicktime-level needs a value\n\n%s", kSsdHelp);
        return 2;
      }
      levelText = args[++i];
      haveLevel = true;
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      std::fprintf(stderr, "pqpack ssd: unknown option '%s'\n\n%s", args[i].c_str(), kSsdHelp);
      return 2;
    } else {
      positional.push_back(args[i]);
    }
  }
  int32_t level = 0;
  if (!haveLevel) {
    std::fprintf(stderr, "pqpack ssd: no --quicktime-level given\n\n%s", kSsdHelp);
    return 2;
  }
  if (!pqpack::parseQuickTimeLevel(levelText, &level)) {
    std::fprintf(stderr, "pqpack ssd: the QuickTime level '%s' is not a 32-bit whole number\n", levelText.c_str());
    return 2;
  }
  if (positional.size() != 2) {
    std::fprintf(stderr, "pqpack ssd: give CONTENT and OUT\n\n%s", kSsdHelp);
    return 2;
  }
  std::vector<uint8_t> content;
  std::string problem;
  if (!pqpack::readWholeFile(positional[0], pqpack::kMaximumInstallerSize - kDataFileHeaderSize, &content,
                             &problem) ||
      !pqpack::writeWholeFile(positional[1], pqpack::makeDataFile(level, content), &problem)) {
    std::fprintf(stderr, "pqpack ssd: %s\n", problem.c_str());
    return 1;
  }
  return 0;
}
