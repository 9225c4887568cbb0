// Writes the seed corpus of fuzz_installer: real installers made by the builder's image module
// (screen saver and movie, stored and compressed entries, a data file asking for QuickTime),
// kept small so the fuzzer runs fast, each without its program part, since the target puts
// its own padded program in front of the input.
// Run: build/host-fuzz/fuzz/make_installer_seeds fuzz/corpus/installer
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <array>
#include <string>
#include <vector>

#include "compression/byte_order.h"
#include "installer_image.h"
#include "system/data_file_header.h"

namespace {

std::vector<uint8_t> patternBytes(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = seed * 2654435761u + 1;
  for (size_t index = 0; index < size; ++index) {
    state = state * 1103515245u + 12345u;
    bytes[index] = static_cast<uint8_t>((index % 32 < 20) ? 'a' + (index % 5) : (state >> 16) & 0xFF);
  }
  return bytes;
}

std::vector<uint8_t> dataFile(int32_t quickTimeLevel) {
  std::vector<uint8_t> bytes = patternBytes(80, 9);
  pq::storeLittleEndian32(&bytes[kDataFileLevelOffset], static_cast<uint32_t>(quickTimeLevel));
  return bytes;
}

std::string withExtension(const std::string& name, const std::string& extension) {
  return name.substr(0, name.rfind('.')) + extension;
}

struct Seed {
  const char* fileName;
  const char* mainName;
  int32_t quickTimeLevel;
  pqpack::Compression compression;
};

bool writeSeed(const std::filesystem::path& folder, const Seed& seed) {
  using pqpack::Compression;
  const pq::ImplodeLevel level = pq::ImplodeLevel::Fast;
  const std::array<pqpack::PayloadEntry, 5> payload = {
      pqpack::makePayloadEntry("impborl.dat", kFileType_Library, patternBytes(48, 1), Compression::Store, level),
      pqpack::makePayloadEntry(seed.mainName, kFileType_Main, patternBytes(600, 2), seed.compression, level),
      pqpack::makePayloadEntry(withExtension(seed.mainName, ".ssd"), kFileType_Data, dataFile(seed.quickTimeLevel),
                               Compression::Store, level),
      pqpack::makePayloadEntry("lib1.dat", kFileType_Library, patternBytes(400, 4), seed.compression, level),
      pqpack::makePayloadEntry("lib2.dat", kFileType_Library, patternBytes(30, 5), Compression::Store, level),
  };
  const std::filesystem::path whole = folder / (std::string(seed.fileName) + ".whole");
  std::string problem;
  if (!pqpack::writeInstaller(whole.string(), {'M', 'Z'}, payload, &problem)) {
    std::fprintf(stderr, "%s: %s\n", seed.fileName, problem.c_str());
    return false;
  }
  std::ifstream input(whole, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
  input.close();
  std::filesystem::remove(whole);
  std::ofstream output(folder / seed.fileName, std::ios::binary);
  output.write(bytes.data() + DIRECTORY_OFFSET, static_cast<std::streamsize>(bytes.size() - DIRECTORY_OFFSET));
  return static_cast<bool>(output);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_installer_seeds FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  using pqpack::Compression;
  const Seed seeds[] = {
      {"saver_compressed", "Sunset.scr", 0, Compression::ImplodeWhenSmaller},
      {"saver_stored", "Sunset.scr", 0, Compression::Store},
      {"saver_needs_quicktime", "Sunset.scr", 3, Compression::ImplodeWhenSmaller},
      {"movie_compressed", "Show.exe", 0, Compression::ImplodeWhenSmaller},
      {"movie_stored", "Show.exe", 2, Compression::Store},
  };
  for (const Seed& seed : seeds) {
    if (!writeSeed(folder, seed)) return 1;
  }
  return 0;
}
