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

#include "data_file.h"
#include "installer_image.h"
#include "support/seeded_bytes.h"

namespace {

using pqtest::seededBytes;

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
      pqpack::makePayloadEntry(kLibraryEntryName, kFileType_Library, seededBytes(48, 1), Compression::Store, level),
      pqpack::makePayloadEntry(seed.mainName, kFileType_Main, seededBytes(600, 2), seed.compression, level),
      pqpack::makePayloadEntry(withExtension(seed.mainName, ".ssd"), kFileType_Data,
                               pqpack::makeDataFile(seed.quickTimeLevel, seededBytes(16, 9)), Compression::Store, level),
      pqpack::makePayloadEntry("lib1.dat", kFileType_Library, seededBytes(400, 4), seed.compression, level),
      pqpack::makePayloadEntry("lib2.dat", kFileType_Library, seededBytes(30, 5), Compression::Store, level),
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
