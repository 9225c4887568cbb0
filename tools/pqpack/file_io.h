// Whole-file reading and all-or-nothing writing for the pqpack commands.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace pqpack {

// Reads the file at `path` whole. Refuses (false, `problem` set to a sentence naming the
// path) a file that is missing, unreadable, a directory, or longer than `maximumSize`.
bool readWholeFile(const std::filesystem::path& path, uint64_t maximumSize, std::vector<uint8_t>* bytes,
                   std::string* problem);

// A file that appears at its path complete or not at all: the bytes go to a temporary file
// beside the destination, which replaces the destination only on commit(). Dropped without
// commit (any failure on the way), it removes the temporary file and leaves the destination
// as it was.
class AtomicOutput {
public:
  explicit AtomicOutput(std::filesystem::path destination);
  ~AtomicOutput();
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  // Opens the temporary file; false with `problem` set when it cannot be created.
  bool open(std::string* problem);
  // Appends bytes; false with `problem` set on a failed write (a full disk).
  bool write(const void* data, size_t size, std::string* problem);
  bool write(const std::vector<uint8_t>& bytes, std::string* problem) {
    return write(bytes.data(), bytes.size(), problem);
  }
  // Appends `count` zero bytes.
  bool writeZeros(size_t count, std::string* problem);
  // Flushes, closes and renames the temporary file over the destination.
  bool commit(std::string* problem);

private:
  std::filesystem::path destination;
  std::filesystem::path temporary;
  std::FILE* file = nullptr;
  bool committed = false;
};

// Writes `bytes` to `path` through an AtomicOutput.
bool writeWholeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, std::string* problem);

} // namespace pqpack
