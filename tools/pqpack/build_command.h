// pqpack build: an installer from the program, the compression library, the main file, the
// data file and up to two support libraries.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "compression/implode.h"
#include "progress_meter.h"
#include "signature.h"

namespace pqpack {

struct BuildRequest {
  std::string output;
  std::string stub;     // empty: the default pqsetup.exe
  std::string library;  // empty: the default impborl.dll
  pq::ImplodeLevel level = pq::ImplodeLevel::Best;
  unsigned threads = 0;  // 0: every core
  bool compressData = false;
  std::string mainFile;
  std::string dataFile;
  std::vector<std::string> libraries;  // 0 to 2
  SigningRequest signing;              // none unless a certificate is named
  bool quiet = false;                  // no summary and no progress
};

// The most support libraries an installer holds: entries 4 and 5.
constexpr size_t kMaximumSupportLibraries = 2;

// Builds the installer the request describes; warnings go to `warnings`, progress to
// `progress` (either may be null). False, with `problem` set, when it is refused or fails; the
// output path is left as it was then, and no temporary file stays.
bool buildInstaller(const BuildRequest& request, std::FILE* warnings, ProgressMeter* progress, std::string* problem);

// What build prints once it has written `output`: the mode and size, each entry's size, stored
// size and ratio, the totals, and `signer` (empty: unsigned). Empty when `output` cannot be read.
std::vector<std::string> buildSummary(const std::string& output, const std::string& signer);

// Builds, with progress on a terminal and the summary on standard output unless quiet.
int runBuild(const BuildRequest& request);

} // namespace pqpack
