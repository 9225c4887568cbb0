// The one way pqpack reads and writes files: inputs read in blocks (FileSource), whole when
// they are small, or at chosen offsets; every output written to a temporary file beside it
// and renamed into place (AtomicOutput). Both take part in the streaming layer of
// byte_streams.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "byte_streams.h"

namespace pqpack {

// Paths travel through pqpack as UTF-8 text, as the command line gives them (on Windows,
// main() turns the wide command line into UTF-8); these two cross into the file system's form.
std::filesystem::path pathOf(const std::string& utf8);
std::string textOf(const std::filesystem::path& path);

// An input file read at chosen offsets; it closes itself.
class InputFile {
public:
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool isOpen() const { return file != nullptr; }
  // Exactly `size` bytes from `offset`; false when the file holds fewer.
  bool readAt(uint64_t offset, void* buffer, size_t size);
  // Up to `size` bytes from `offset`: what the file holds there.
  size_t readUpTo(uint64_t offset, void* buffer, size_t size);
  bool size(uint64_t* size);

private:
  std::FILE* file;
};

// The size of the regular file at `path`, for a command that must know it before it reads:
// false, with `problem` set to a sentence naming the path, when the file is missing, a
// directory, not a regular file, cannot be opened, or is longer than `maximumSize`.
bool inputFileSize(const std::string& path, uint64_t maximumSize, uint64_t* size, std::string* problem);

// A file read from its start, or a range of it, a block at a time (pipes too, when read from
// the start). Bytes beyond `maximumSize` are refused: no installer holds that many.
class FileSource : public ByteSource {
public:
  static constexpr uint64_t kToTheEnd = UINT64_MAX;
  explicit FileSource(std::string path, uint64_t offset = 0, uint64_t length = kToTheEnd,
                      uint64_t maximumSize = UINT64_MAX);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // False, with `problem` set as inputFileSize sets it (or that the file is too large), when
  // it cannot be read.
  bool open(std::string* problem);
  bool read(uint8_t* buffer, size_t capacity, size_t* count, std::string* problem) override;
  bool rewind(std::string* problem) override;

private:
  std::string path;
  uint64_t offset;
  uint64_t length;
  uint64_t maximumSize;
  std::FILE* file = nullptr;
  bool seekable = false;
  uint64_t position = 0;  // bytes read since the range's start
};

// Reads the small file at `path` whole. Refuses (false, `problem` set to a sentence naming the
// path) a file that is missing, unreadable, a directory, or longer than `maximumSize`.
bool readWholeFile(const std::string& path, uint64_t maximumSize, std::vector<uint8_t>* bytes,
                   std::string* problem);

// True when both paths lead to one existing file, however they are spelt: through links,
// "..", another case on Windows, or a second hard link. pqpack never writes over its inputs.
bool isSameFile(const std::string& a, const std::string& b);

// A file a command reads, by the role it plays ("MAIN", "IN", "--library" ...).
struct NamedInput {
  std::string role;
  std::string path;
};
// False, with `problem` set, when `output` is the same file as one of `inputs`: writing it
// would replace the author's file. Checked before any work.
bool checkOutputIsNoInput(const std::string& output, const std::vector<NamedInput>& inputs, std::string* problem);

// A file that appears at its path complete or not at all: the bytes go to a temporary file
// beside the destination, which replaces the destination only on commit(). Dropped without
// commit (any failure on the way), it removes the temporary file and leaves the destination
// as it was; so does an interruption (interruptions.h). `stage` tells apart two temporaries
// for one destination.
class AtomicOutput : public ByteSink {
public:
  explicit AtomicOutput(const std::string& destination, const std::string& stage = "");
  ~AtomicOutput() override;
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  // Opens the temporary file; false with `problem` set when it cannot be created.
  bool open(std::string* problem);
  // Appends bytes; false with `problem` set on a failed write (a full disk).
  bool write(const void* data, size_t size, std::string* problem) override;
  bool write(const std::vector<uint8_t>& bytes, std::string* problem) {
    return write(bytes.data(), bytes.size(), problem);
  }
  // Appends `count` zero bytes.
  bool writeZeros(size_t count, std::string* problem);
  // Writes over bytes already written at `offset` (a header whose fields come last); the
  // next write appends again.
  bool writeAt(uint64_t offset, const void* data, size_t size, std::string* problem);
  // Flushes and closes the temporary file, which stays for another program to read.
  bool close(std::string* problem);
  // The temporary file, for a program that writes it itself: it is removed first, so that
  // nothing planted there is written through.
  std::string temporaryPath() const { return textOf(temporary); }
  bool clearTemporary(std::string* problem);
  // Closes the temporary file if open and renames it over the destination.
  bool commit(std::string* problem);

private:
  // Registers the temporary file for removal on an interruption (interruptions.h) before it
  // can exist.
  void registerTemporary();

  std::filesystem::path destination;
  std::filesystem::path temporary;
  std::FILE* file = nullptr;
  bool committed = false;
  bool registered = false;
};

// Writes `bytes` to `path` through an AtomicOutput.
bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* problem);

} // namespace pqpack
