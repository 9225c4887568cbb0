// pqpack's commands. The command line (command_line.cpp) turns the arguments into one request;
// each run function carries it out and returns the exit status. Messages go to standard
// error, listings to standard output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compression/implode.h"

namespace pqpack {

using Args = std::vector<std::string>;

// The exit statuses every command shares.
constexpr int kExit_Done = 0;
constexpr int kExit_Failure = 1;  // the message says why
constexpr int kExit_Usage = 2;    // an unknown option, a missing or malformed argument
// explode exits with the decoder's result (0 to 4) once it has run; its own errors before
// that use these, so they never read as a result.
constexpr int kExplodeExit_Usage = 64;
constexpr int kExplodeExit_NoInput = 66;
constexpr int kExplodeExit_CannotWrite = 73;

// The version of the JSON that list and verify print. It goes up when a field changes its
// meaning or goes away; fields may be added without it.
constexpr int kJsonSchemaVersion = 1;

struct ListRequest {
  std::string installer;
  bool json = false;
};
struct VerifyRequest {
  std::string installer;
  bool json = false;
};
struct ExtractRequest {
  std::string installer;
  std::string folder;
};
struct SsdRequest {
  int32_t quickTimeLevel = 0;
  std::string content;
  std::string output;
};
struct ImplodeRequest {
  pq::ImplodeOptions options;
  std::string input;
  std::string output;
};
struct ExplodeRequest {
  std::string input;
  std::string output;
};

int runList(const ListRequest& request);
int runVerify(const VerifyRequest& request);
int runExtract(const ExtractRequest& request);
int runSsd(const SsdRequest& request);
int runImplode(const ImplodeRequest& request);
int runExplode(const ExplodeRequest& request);
// runBuild: build_command.h.

// The whole command line after the program's name: parses it and runs the command.
int runCommandLine(const Args& arguments);

} // namespace pqpack
