// pqpack's peak memory against the size of its input: every command that reads or writes a
// payload (ssd, build stored and compressed, verify, extract, implode, explode) runs as a
// process of its own on generated inputs of each size, and the kernel's count of its largest
// resident set (ru_maxrss) is printed beside the input's size. The reference is the same
// command on the smallest input, measured in the same run: streaming keeps the ratio near 1
// whatever the size; a command that held its input whole would grow with it.
//
// Run: build/host-release/bench/pq_pqpack_memory_bench [--sizes 1M,100M,1G] [--threads 2]
//                                                     [--dir FOLDER] [--keep]
// It needs dist/win32/ (pqsetup.exe and impborl.dll, from the win32 preset), which pqpack
// finds by itself, and about six times the largest size free in FOLDER (default: the system's
// temporary folder), in a folder of its own made there and removed at the end unless --keep,
// which keeps the last size's files.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// What an author's laptop can spare whatever the payload.
constexpr double kAimMebibytes = 256;

// The content of the generated files: three quarters text-like, which implode shrinks to
// about 40%, and one quarter noise, in turns of 64 KB, from a fixed seed.
void writeContent(const fs::path& path, uint64_t size, uint32_t seed) {
  static const char* const kWords[] = {"sunset ", "over ", "the ", "quiet ", "harbour ", "light\r\n", "gold ", "sea "};
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<char> block(1 << 20);
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (uint64_t written = 0; written < size;) {
    for (size_t at = 0; at < block.size();) {
      const bool noise = (((written + at) >> 16) & 3) == 3;
      const size_t end = at + 65536;
      while (at < end) {
        if (noise) {
          const uint64_t value = next();
          std::memcpy(&block[at], &value, 8);
          at += 8;
        } else {
          for (const char* word = kWords[next() >> 61]; *word != '\0' && at < end; ++word) block[at++] = *word;
        }
      }
    }
    const uint64_t piece = std::min<uint64_t>(block.size(), size - written);
    out.write(block.data(), static_cast<std::streamsize>(piece));
    written += piece;
  }
}

struct Measured {
  int status = -1;
  double seconds = 0;
  double peakMebibytes = 0;
};

// Runs pqpack with `arguments`, its output to /dev/null, and measures it.
Measured runPqpack(const std::string& pqpack, const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(pqpack.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  Measured measured;
  const auto start = std::chrono::steady_clock::now();
  pid_t child = 0;
  if (posix_spawn(&child, pqpack.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) == child) {
      measured.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      measured.peakMebibytes = static_cast<double>(usage.ru_maxrss) / 1024.0;  // KB on Linux
    }
  }
  measured.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return measured;
}

bool sameFiles(const fs::path& a, const fs::path& b) {
  std::ifstream left(a, std::ios::binary), right(b, std::ios::binary);
  std::vector<char> x(1 << 20), y(1 << 20);
  for (;;) {
    left.read(x.data(), static_cast<std::streamsize>(x.size()));
    right.read(y.data(), static_cast<std::streamsize>(y.size()));
    if (left.gcount() != right.gcount() || std::memcmp(x.data(), y.data(), static_cast<size_t>(left.gcount())) != 0) {
      return false;
    }
    if (left.gcount() == 0) return true;
  }
}

uint64_t parseSize(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  const std::string unit = end;
  const double scale = unit == "G" ? 1e9 : unit == "M" ? 1e6 : unit == "K" ? 1e3 : 1;
  return static_cast<uint64_t>(value * scale);
}

std::string label(uint64_t size) {
  char text[32];
  if (size >= 1000000000) {
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(size) / 1e9);
  } else {
    std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(size) / 1e6);
  }
  return text;
}

} // namespace

int main(int argc, char** argv) {
  std::vector<uint64_t> sizes = {1000000, 100000000, 1000000000};
  std::string threads = "2";
  fs::path parent = fs::temp_directory_path();
  bool keep = false;
  for (int index = 1; index < argc; ++index) {
    const std::string option = argv[index];
    if (option == "--keep") {
      keep = true;
    } else if (index + 1 < argc && option == "--sizes") {
      sizes.clear();
      std::string list = argv[++index];
      for (size_t start = 0; start <= list.size();) {
        const size_t comma = std::min(list.find(',', start), list.size());
        sizes.push_back(parseSize(list.substr(start, comma - start)));
        start = comma + 1;
      }
    } else if (index + 1 < argc && option == "--threads") {
      threads = argv[++index];
    } else if (index + 1 < argc && option == "--dir") {
      parent = argv[++index];
    } else {
      std::fprintf(stderr, "usage: %s [--sizes 1M,100M,1G] [--threads N] [--dir FOLDER] [--keep]\n", argv[0]);
      return 2;
    }
  }
  const std::string pqpack = PQ_PQPACK_PATH;
  // A folder of its own: what it removes at the end is only what it made.
  const fs::path folder = parent / ("pq_pqpack_bench_" + std::to_string(getpid()));
  fs::create_directories(folder);
  // A movie's main file may hold any bytes (a saver's must be a Windows program).
  const fs::path movie = folder / "Big.exe";
  writeContent(movie, 300000, 1);

  struct Row {
    std::string command;
    uint64_t size;
    Measured measured;
  };
  std::vector<Row> rows;
  bool allWell = true;
  std::printf("pqpack %s, --threads %s, in %s\n", pqpack.c_str(), threads.c_str(), folder.c_str());
  for (const uint64_t size : sizes) {
    const fs::path content = folder / "content.bin", data = folder / "Big.ssd";
    const fs::path stored = folder / "Stored.exe", packed = folder / "Packed.exe", out = folder / "out";
    const fs::path stream = folder / "content.imp", expanded = folder / "content.out";
    writeContent(content, size, 2);
    const std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
        {"ssd", {"ssd", "--quicktime-level", "0", content, data}},
        {"build (data stored)", {"build", "--threads", threads, "-o", stored, movie, data}},
        {"build --compress-data", {"build", "--threads", threads, "--compress-data", "-o", packed, movie, data}},
        {"verify (data stored)", {"verify", stored}},
        {"verify (data compressed)", {"verify", packed}},
        {"extract (data compressed)", {"extract", packed, out}},
        {"implode", {"implode", "--threads", threads, content, stream}},
        {"explode", {"explode", stream, expanded}},
    };
    for (const auto& [name, arguments] : commands) {
      rows.push_back({name, size, runPqpack(pqpack, arguments)});
      const Row& row = rows.back();
      std::printf("%-26s %8s  peak %7.1f MiB  %7.1f s  exit %d\n", name.c_str(), label(size).c_str(),
                  row.measured.peakMebibytes, row.measured.seconds, row.measured.status);
      std::fflush(stdout);
      allWell = allWell && row.measured.status == 0;
    }
    const bool extracted = sameFiles(out / "Big.ssd", data);
    const bool exploded = sameFiles(expanded, content);
    std::printf("extract gives the data file back: %s; explode gives the content back: %s\n",
                extracted ? "yes" : "NO", exploded ? "yes" : "NO");
    allWell = allWell && extracted && exploded;
    if (keep && size == sizes.back()) continue;
    for (const fs::path& file : {content, data, stored, packed, stream, expanded}) fs::remove(file);
    fs::remove_all(out);
  }

  std::printf("\npeak resident memory in MiB (and against the same command at %s)\n", label(sizes.front()).c_str());
  std::printf("%-26s", "command");
  for (const uint64_t size : sizes) std::printf(" %16s", label(size).c_str());
  std::printf("\n");
  for (size_t command = 0; command < rows.size() / sizes.size(); ++command) {
    std::printf("%-26s", rows[command].command.c_str());
    for (size_t turn = 0; turn < sizes.size(); ++turn) {
      const Measured& measured = rows[turn * (rows.size() / sizes.size()) + command].measured;
      std::printf(" %7.1f (%5.2fx)", measured.peakMebibytes, measured.peakMebibytes / rows[command].measured.peakMebibytes);
    }
    std::printf("\n");
  }
  double highest = 0;
  for (const Row& row : rows) highest = std::max(highest, row.measured.peakMebibytes);
  std::printf("highest peak %.1f MiB (aim: at most %.0f MiB for a 1.4 GB input at two threads)\n", highest,
              kAimMebibytes);
  if (!keep) fs::remove_all(folder);
  return allWell && highest <= kAimMebibytes ? 0 : 1;
}
