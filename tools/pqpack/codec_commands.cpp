// pqpack explode and pqpack implode: one raw implode stream to or from a file.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "compression/implode.h"
#include "decoder_results.h"
#include "file_io.h"
#include "installer_image.h"

namespace pqpack {

int runExplode(const ExplodeRequest& request) {
  std::vector<uint8_t> stream;
  std::string problem;
  if (!checkOutputIsNoInput(request.output, {{"IN", request.input}}, &problem)) {
    std::fprintf(stderr, "pqpack explode: %s\n", problem.c_str());
    return kExplodeExit_CannotWrite;
  }
  if (!readWholeFile(request.input, kMaximumInstallerSize, &stream, &problem)) {
    std::fprintf(stderr, "pqpack explode: %s\n", problem.c_str());
    return kExplodeExit_NoInput;
  }
  std::vector<uint8_t> output;
  const uint32_t result = pq::explodeBuffer(stream.data(), stream.size(), &output);
  if (!writeWholeFile(request.output, output, &problem)) {
    std::fprintf(stderr, "pqpack explode: %s\n", problem.c_str());
    return kExplodeExit_CannotWrite;
  }
  if (result != PQ_CMP_NO_ERROR) {
    std::fprintf(stderr, "pqpack explode: result %u: %s (%zu bytes written)\n", result, decoderResultText(result),
                 output.size());
  }
  return static_cast<int>(result);
}

int runImplode(const ImplodeRequest& request) {
  std::vector<uint8_t> input;
  std::string problem;
  if (!checkOutputIsNoInput(request.output, {{"IN", request.input}}, &problem) ||
      !readWholeFile(request.input, kMaximumInstallerSize, &input, &problem)) {
    std::fprintf(stderr, "pqpack implode: %s\n", problem.c_str());
    return kExit_Failure;
  }
  std::vector<uint8_t> stream;
  if (pq::implodeBuffer(input.data(), input.size(), request.options, &stream) != PQ_CMP_NO_ERROR) {
    std::fprintf(stderr, "pqpack implode: the codec refused the options\n");
    return kExit_Usage;
  }
  if (!writeWholeFile(request.output, stream, &problem)) {
    std::fprintf(stderr, "pqpack implode: %s\n", problem.c_str());
    return kExit_Failure;
  }
  return kExit_Done;
}

} // namespace pqpack
