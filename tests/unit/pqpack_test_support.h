// Shared helpers of the pqpack tests: a scratch folder per test, small input files, and
// running a command with its output captured.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "commands.h"

namespace pqpack_test {

using Bytes = std::vector<uint8_t>;

// A folder of its own for the running test, removed afterwards.
class ScratchFolder {
public:
  ScratchFolder() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("pqpack_") + std::to_string(getpid()) + "_" + info->test_suite_name() + "_" +
                       info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path); }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
  // Names of everything in the folder, sorted.
  std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (const auto& item : std::filesystem::directory_iterator(path)) result.push_back(item.path().filename().string());
    std::sort(result.begin(), result.end());
    return result;
  }
  std::filesystem::path path;
};

inline void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Text-like bytes that compress well (fixed seed).
inline Bytes compressibleBytes(size_t size, uint32_t seed) {
  static const char* const words[] = {"sunset ", "over ", "the ", "quiet ", "harbour ", "light\r\n", "gold ", "sea "};
  Bytes bytes;
  uint32_t state = seed;
  while (bytes.size() < size) {
    state = state * 1664525u + 1013904223u;
    const char* word = words[(state >> 24) % 8];
    while (*word != '\0' && bytes.size() < size) bytes.push_back(static_cast<uint8_t>(*word++));
  }
  return bytes;
}

// Bytes no compressor can shrink (fixed seed).
inline Bytes noiseBytes(size_t size, uint32_t seed) {
  Bytes bytes(size);
  uint32_t state = seed;
  for (uint8_t& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<uint8_t>(state >> 11);
  }
  return bytes;
}

// A stand-in for pqsetup.exe: any bytes shorter than the directory offset will do.
inline Bytes fakeProgram() {
  Bytes program = bytesOf("MZ fake installer program");
  program.resize(1000, 0xCC);
  return program;
}

inline Bytes fakeLibrary() {
  Bytes library = bytesOf("MZ fake compression library");
  Bytes body = noiseBytes(3000, 99);
  library.insert(library.end(), body.begin(), body.end());
  return library;
}

struct CommandRun {
  int status = 0;
  std::string out;
  std::string err;
};

inline CommandRun run(int (*command)(const Args&), const Args& args) {
  CommandRun result;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  result.status = command(args);
  result.out = testing::internal::GetCapturedStdout();
  result.err = testing::internal::GetCapturedStderr();
  return result;
}

} // namespace pqpack_test
