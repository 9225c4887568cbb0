// pqpack ssd: a data file with a chosen QuickTime requirement (its header: system/data_file_header.h).
// The content is copied a block at a time; the header, which holds its length and CRC-32, is
// written last over the place kept for it.
#include <cstdio>

#include "commands.h"
#include "console_text.h"
#include "data_file.h"
#include "file_io.h"
#include "installer_image.h"

namespace pqpack {

namespace {

// Passes the content on to the data file, taking its length and CRC-32 on the way.
class ContentSink : public ByteSink {
public:
  explicit ContentSink(ByteSink& file) : file(file) {}
  bool write(const void* data, size_t size, std::string* problem) override {
    runningCrc = pq::crc32Update(runningCrc, static_cast<const uint8_t*>(data), size);
    return file.write(data, size, problem);
  }
  uint32_t crc() const { return ~runningCrc; }

private:
  ByteSink& file;
  uint32_t runningCrc = 0xFFFFFFFFu;
};

} // namespace

int runSsd(const SsdRequest& request) {
  std::string problem = quickTimeLevelProblem(request.quickTimeLevel);
  if (!problem.empty()) {
    std::fprintf(stderr, "pqpack ssd: --quicktime-level: %s\n", problem.c_str());
    return kExit_Failure;
  }
  FileSource content(request.content, 0, FileSource::kToTheEnd, kMaximumInstallerSize - kDataFileHeaderSize);
  AtomicOutput output(request.output);
  ContentSink contentSink(output);
  uint64_t length = 0;
  if (!checkOutputIsNoInput(request.output, {{"CONTENT", request.content}}, &problem) || !content.open(&problem) ||
      !output.open(&problem) || !output.writeZeros(kDataFileHeaderSize, &problem) ||
      !copyBytes(content, contentSink, &length, &problem)) {
    printLine(stderr, "pqpack ssd: " + problem);
    return kExit_Failure;
  }
  const auto header = makeDataFileHeader(request.quickTimeLevel, length, contentSink.crc());
  if (!output.writeAt(0, header.data(), header.size(), &problem) || !output.commit(&problem)) {
    printLine(stderr, "pqpack ssd: " + problem);
    return kExit_Failure;
  }
  return kExit_Done;
}

} // namespace pqpack
