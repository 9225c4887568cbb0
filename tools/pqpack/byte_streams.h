// pqpack's streaming layer: bytes pass from a source to a sink a block at a time, as they
// are or through the codec, so that a command holds a few blocks and the codec's work areas,
// never a whole file, however large its input. Files are sources and sinks through
// file_io.h (FileSource, AtomicOutput); memory is one too, for small files and the tests.
//
//   source --read--> [block] --write--> sink            copyBytes
//   source --read--> codec  --write--> sink             implodeBytes, explodeBytes
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "compression/implode.h"

namespace pqpack {

// The block a copy moves at once: large enough that reading and writing cost next to
// nothing per call, small beside any memory bound.
constexpr size_t kBlockSize = size_t{1} << 20;

// Where bytes come from, in order.
class ByteSource {
public:
  virtual ~ByteSource() = default;
  // Up to `capacity` bytes into `buffer`, `*count` of them; 0 once everything has been read.
  // False, with `problem` set, when reading fails.
  virtual bool read(uint8_t* buffer, size_t capacity, size_t* count, std::string* problem) = 0;
  // Starts again from the first byte.
  virtual bool rewind(std::string* problem) = 0;
};

// Where bytes go, in order.
class ByteSink {
public:
  virtual ~ByteSink() = default;
  // False, with `problem` set, when the bytes cannot be taken (a full disk).
  virtual bool write(const void* data, size_t size, std::string* problem) = 0;
};

class MemorySource : public ByteSource {
public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit MemorySource(const std::vector<uint8_t>& bytes) : MemorySource(bytes.data(), bytes.size()) {}
  bool read(uint8_t* buffer, size_t capacity, size_t* count, std::string* problem) override;
  bool rewind(std::string*) override {
    position_ = 0;
    return true;
  }

private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// Appends to a vector.
class MemorySink : public ByteSink {
public:
  explicit MemorySink(std::vector<uint8_t>* bytes) : bytes_(bytes) {}
  bool write(const void* data, size_t size, std::string* problem) override;

private:
  std::vector<uint8_t>* bytes_;
};

// Copies everything `source` holds into `sink` a block at a time; `*count` is how many bytes
// were copied. False, with `problem` set, when reading or writing fails.
bool copyBytes(ByteSource& source, ByteSink& sink, uint64_t* count, std::string* problem);

// How a codec run between a source and a sink ended.
struct CodecRun {
  uint32_t result = 0;   // the codec's result
  uint64_t written = 0;  // bytes the sink took
  bool cut = false;      // the input was cut short because the sink reached the output limit
  bool sinkFailed = false;  // the failure, if any, was the sink's
};
// No output limit.
constexpr uint64_t kNoOutputLimit = UINT64_MAX;

// Compresses everything `source` holds into `sink` as one implode stream. Once the sink has
// taken `outputLimit` bytes, the input is cut short: a stream that will not stay smaller than
// something need not be finished. False, with `problem` set, when reading or writing fails.
bool implodeBytes(ByteSource& source, ByteSink& sink, const pq::ImplodeOptions& options, uint64_t outputLimit,
                  CodecRun* run, std::string* problem);
// Expands the implode stream `source` holds into `sink`, cut short like implodeBytes once the
// sink has taken `outputLimit` bytes (a stream that expands far beyond what it should).
bool explodeBytes(ByteSource& source, ByteSink& sink, uint64_t outputLimit, CodecRun* run, std::string* problem);

} // namespace pqpack
