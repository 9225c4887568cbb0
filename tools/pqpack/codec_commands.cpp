// pqpack explode and pqpack implode: one raw implode stream to or from a file, a block at a
// time.
#include <cstdio>
#include <string>

#include "commands.h"
#include "console_text.h"
#include "compression/implode.h"
#include "decoder_results.h"
#include "file_io.h"
#include "installer_image.h"

namespace pqpack {

int runExplode(const ExplodeRequest& request) {
  std::string problem;
  if (!checkOutputIsNoInput(request.output, {{"IN", request.input}}, &problem)) {
    printLine(stderr, "pqpack explode: " + problem);
    return kExplodeExit_CannotWrite;
  }
  FileSource input(request.input, 0, FileSource::kToTheEnd, kMaximumInstallerSize);
  if (!input.open(&problem)) {
    printLine(stderr, "pqpack explode: " + problem);
    return kExplodeExit_NoInput;
  }
  AtomicOutput output(request.output);
  if (!output.open(&problem)) {
    printLine(stderr, "pqpack explode: " + problem);
    return kExplodeExit_CannotWrite;
  }
  // OUT receives whatever the decoder delivers, also from a stream cut short.
  CodecRun run;
  if (!explodeBytes(input, output, kNoOutputLimit, &run, &problem)) {
    printLine(stderr, "pqpack explode: " + problem);
    return run.sinkFailed ? kExplodeExit_CannotWrite : kExplodeExit_NoInput;
  }
  if (!output.commit(&problem)) {
    printLine(stderr, "pqpack explode: " + problem);
    return kExplodeExit_CannotWrite;
  }
  if (run.result != PQ_CMP_NO_ERROR) {
    std::fprintf(stderr, "pqpack explode: result %u: %s (%llu bytes written)\n", run.result,
                 decoderResultText(run.result), static_cast<unsigned long long>(run.written));
  }
  return static_cast<int>(run.result);
}

int runImplode(const ImplodeRequest& request) {
  std::string problem;
  FileSource input(request.input, 0, FileSource::kToTheEnd, kMaximumInstallerSize);
  AtomicOutput output(request.output);
  if (!checkOutputIsNoInput(request.output, {{"IN", request.input}}, &problem) || !input.open(&problem) ||
      !output.open(&problem)) {
    printLine(stderr, "pqpack implode: " + problem);
    return kExit_Failure;
  }
  CodecRun run;
  if (!implodeBytes(input, output, request.options, kNoOutputLimit, &run, &problem)) {
    printLine(stderr, "pqpack implode: " + problem);
    return kExit_Failure;
  }
  if (run.result != PQ_CMP_NO_ERROR) {
    std::fprintf(stderr, "pqpack implode: the codec refused the options\n");
    return kExit_Usage;
  }
  if (!output.commit(&problem)) {
    printLine(stderr, "pqpack implode: " + problem);
    return kExit_Failure;
  }
  return kExit_Done;
}

} // namespace pqpack
