#include "byte_streams.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace pqpack {

namespace {

// What the codec's callbacks reach through their one parameter: the source and sink, and the
// first failure of either, after which the input reads as ended and the output is dropped.
struct CodecBridge {
  CodecBridge(ByteSource& source, ByteSink& sink, uint64_t outputLimit)
      : source(source), sink(sink), outputLimit(outputLimit) {}

  ByteSource& source;
  ByteSink& sink;
  uint64_t outputLimit;
  CodecRun run;
  bool failed = false;
  std::string problem;
};

uint32_t PQ_CDECL readFromSource(char* buffer, uint32_t* size, void* param) {
  auto* bridge = static_cast<CodecBridge*>(param);
  if (bridge->failed || bridge->run.written >= bridge->outputLimit) {
    bridge->run.cut = !bridge->failed;
    return 0;
  }
  size_t count = 0;
  if (!bridge->source.read(reinterpret_cast<uint8_t*>(buffer), *size, &count, &bridge->problem)) {
    bridge->failed = true;
    return 0;
  }
  return static_cast<uint32_t>(count);
}

void PQ_CDECL writeToSink(char* buffer, uint32_t* size, void* param) {
  auto* bridge = static_cast<CodecBridge*>(param);
  if (bridge->failed || *size == 0) return;
  if (!bridge->sink.write(buffer, *size, &bridge->problem)) {
    bridge->failed = true;
    bridge->run.sinkFailed = true;
    return;
  }
  bridge->run.written += *size;
}

bool finish(const CodecBridge& bridge, CodecRun* run, std::string* problem) {
  *run = bridge.run;
  if (bridge.failed) *problem = bridge.problem;
  return !bridge.failed;
}

} // namespace

bool MemorySource::read(uint8_t* buffer, size_t capacity, size_t* count, std::string*) {
  *count = std::min(capacity, size_ - position_);
  if (*count > 0) std::memcpy(buffer, data_ + position_, *count);
  position_ += *count;
  return true;
}

bool MemorySink::write(const void* data, size_t size, std::string*) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  bytes_->insert(bytes_->end(), bytes, bytes + size);
  return true;
}

bool copyBytes(ByteSource& source, ByteSink& sink, uint64_t* count, std::string* problem) {
  const auto block = std::make_unique<uint8_t[]>(kBlockSize);
  *count = 0;
  for (;;) {
    size_t got = 0;
    if (!source.read(block.get(), kBlockSize, &got, problem)) return false;
    if (got == 0) return true;
    if (!sink.write(block.get(), got, problem)) return false;
    *count += got;
  }
}

bool implodeBytes(ByteSource& source, ByteSink& sink, const pq::ImplodeOptions& options, uint64_t outputLimit,
                  CodecRun* run, std::string* problem) {
  CodecBridge bridge(source, sink, outputLimit);
  bridge.run.result = pq::implodeStream(readFromSource, writeToSink, &bridge, options);
  return finish(bridge, run, problem);
}

bool explodeBytes(ByteSource& source, ByteSink& sink, uint64_t outputLimit, CodecRun* run, std::string* problem) {
  CodecBridge bridge(source, sink, outputLimit);
  bridge.run.result = pq::explodeStream(readFromSource, writeToSink, &bridge);
  return finish(bridge, run, problem);
}

} // namespace pqpack
