// A whole screen-saver installation on the simulated Windows, beside the I/O floor measured in
// the same run through the same simulated machine.
//
// The installer has the shape of the documented example: a 12 KB library stored, the saver
// (about 840 KB) and two libraries (about 330 KB and 64 KB) compressed, and a 9 MB data file
// stored, about 10 MB in all. The saver and libraries are programs from the codec corpus, the
// data file is incompressible.
//
//   install: start-up (the temporary copy and its table), then Install answered No, up to
//            "Installation Successful." (Close, which removes the copy, is left out);
//   floor:   copying the installer file once and writing every installed file once.
// Each is measured on its own, and then both in turns on one machine for the ratio, printed
// at the end as medians in real and in (thread) CPU time; the aim is at most 1.5. On a shared
// machine the CPU figure is the steadier: on tmpfs every file operation is CPU work of this
// process.
//
// Run: build/host-release/bench/pq_install_bench
// The simulated machine lives in /dev/shm when it exists, so the figures measure the
// installer's own work rather than this machine's disk.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench_corpus.h"
#include "bench_timing.h"
#include "compression/compressor.h"
#include "installer/fInstall.h"
#include "installer_image.h"
#include "platform/sim/sim_os.h"

namespace {

const char* const kInstallerPath = "C:\\Setup\\SunsetSetup.exe";

std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, size_t offset, size_t size) {
  return std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + size);
}

std::vector<uint8_t> noise(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint64_t state = seed;
  for (uint8_t& byte : bytes) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    byte = static_cast<uint8_t>(state >> 56);
  }
  return bytes;
}

struct Prepared {
  std::string installer;                    // the whole file
  std::array<std::string, 5> installed;     // entries 1 to 5 as installed
  std::array<std::string, 5> destinations;  // and where
};

const Prepared& prepared() {
  static const Prepared* instance = [] {
    auto* p = new Prepared;
    const pq::bench::Corpus corpus = pq::bench::loadCorpus(2u << 20);
    const std::vector<uint8_t> saver = slice(corpus.bytes, 0, 841216);
    const std::vector<uint8_t> library4 = slice(corpus.bytes, 841216, 335360);
    const std::vector<uint8_t> library5 = slice(corpus.bytes, 841216 + 335360, 65536);
    std::vector<uint8_t> dataFile = noise(8989089, 7);
    for (int index = 0; index < 64; ++index) dataFile[index] = 0; // no QuickTime needed

    using pqpack::Compression;
    const pq::ImplodeLevel level = pq::ImplodeLevel::Fast;
    const std::array<pqpack::PayloadEntry, 5> payload = {
        pqpack::makePayloadEntry(kLibraryEntryName, kFileType_Library, noise(12288, 1), Compression::Store, level),
        pqpack::makePayloadEntry("Sunset.scr", kFileType_Main, saver, Compression::ImplodeWhenSmaller, level),
        pqpack::makePayloadEntry("Sunset.ssd", kFileType_Data, dataFile, Compression::Store, level),
        pqpack::makePayloadEntry("lib1.dat", kFileType_Library, library4, Compression::ImplodeWhenSmaller, level),
        pqpack::makePayloadEntry("lib2.dat", kFileType_Library, library5, Compression::ImplodeWhenSmaller, level),
    };
    const std::array<std::vector<uint8_t>, 5> files = {noise(12288, 1), saver, dataFile, library4, library5};

    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("pq_install_bench_" + std::to_string(::getpid()) + ".exe");
    std::string problem;
    if (!pqpack::writeInstaller(file.string(), {'M', 'Z'}, payload, &problem)) {
      std::fprintf(stderr, "cannot build the installer: %s\n", problem.c_str());
      std::abort();
    }
    std::ifstream input(file, std::ios::binary);
    p->installer.assign(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
    input.close();
    std::filesystem::remove(file);

    for (size_t slot = 0; slot < payload.size(); ++slot) {
      p->installed[slot].assign(files[slot].begin(), files[slot].end());
      p->destinations[slot] = entryDestination(payload[slot].name, payload[slot].fileType, InstallMode::ScreenSaver,
                                               "C:\\WINDOWS\\", "C:\\Setup\\");
    }
    std::printf("installer: %zu bytes; entries stored %s; installed %zu bytes\n", p->installer.size(),
                [&] {
                  std::string sizes;
                  for (const auto& entry : payload)
                    sizes += (sizes.empty() ? "" : ", ") + std::to_string(entry.stored.size()) +
                             (entry.isZipped ? " (compressed)" : "");
                  return sizes;
                }()
                    .c_str(),
                [&] {
                  size_t total = 0;
                  for (const auto& bytes : p->installed) total += bytes.size();
                  return total;
                }());
    return p;
  }();
  return *instance;
}

std::filesystem::path simRoot(const char* purpose) {
  std::filesystem::path base = "/dev/shm";
  if (!std::filesystem::is_directory(base)) base = std::filesystem::temp_directory_path();
  return base / ("pq_install_bench_" + std::string(purpose) + "_" + std::to_string(::getpid()));
}

// The machine of one benchmark, with the installer in place.
struct Machine {
  explicit Machine(const char* purpose) : root(simRoot(purpose)), sim(root), scope(sim) {
    sim.setExecutablePath(kInstallerPath);
    sim.putFile(kInstallerPath, prepared().installer);
  }
  ~Machine() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  // What an earlier iteration left: installed files, the saver setting, the uninstall entry.
  void clearInstallation() {
    for (const std::string& path : prepared().destinations) sim.deleteFile(path);
    sim.callLog.clear();
    sim.messageBoxes.clear();
  }

  std::filesystem::path root;
  pq::SimOs sim;
  pq::ScopedSimOs scope;
};

// Removes what an earlier installation left, then starts the installer and installs,
// answering No to the prompt; Close, which removes the temporary copy, is the end of the
// program rather than of the installation and stays outside the measured part.
bool installOnce(Machine& machine, benchmark::State* state) {
  if (state) state->PauseTiming();
  machine.clearInstallation();
  resetRunState();
  resetCompressionState();
  if (state) state->ResumeTiming();

  TForm1 form;
  form.FormCreate(nullptr);
  form.butInstallClick(nullptr);

  if (state) state->PauseTiming();
  form.Close();
  const bool succeeded = form.statusLabel.caption == "Installation Successful." && machine.sim.errorDialogs.empty();
  if (state) state->ResumeTiming();
  return succeeded;
}

// Copies the installer once and writes every installed file once: what no installer can
// undercut.
void floorOnce(Machine& machine, benchmark::State* state) {
  pq::Os& os = pq::os();
  if (state) state->PauseTiming();
  machine.clearInstallation();
  os.deleteFile("C:\\WINDOWS\\copy.dat");
  if (state) state->ResumeTiming();

  if (!os.copyFile(kInstallerPath, "C:\\WINDOWS\\copy.dat", false)) std::abort();
  for (size_t slot = 0; slot < 5; ++slot) {
    std::unique_ptr<pq::OsFile> file = os.openFile(prepared().destinations[slot], pq::FileAccess::Write,
                                                   pq::FileShare::None, pq::FileCreation::CreateAlways);
    uint32_t written = 0;
    const std::string& bytes = prepared().installed[slot];
    if (!file || !file->write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written) || !file->close())
      std::abort();
  }
}

void BM_ScreenSaverInstallation(benchmark::State& state) {
  Machine machine("install");
  for (auto _ : state) {
    if (!installOnce(machine, &state)) {
      state.SkipWithError("the installation did not succeed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * prepared().installer.size()));
}

void BM_IoFloor(benchmark::State& state) {
  Machine machine("floor");
  for (auto _ : state) floorOnce(machine, &state);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * prepared().installer.size()));
}

using pq::bench::median;
using pq::bench::threadCpuSeconds;

// The ratio, from the floor and the installation taken in turns on one machine, so that
// whatever else the machine is doing weighs on both alike; medians of each.
struct Ratio {
  size_t turns = 0;
  double installMs = 0, floorMs = 0, installCpuMs = 0, floorCpuMs = 0;
} ratio;

void BM_InstallationOverFloor(benchmark::State& state) {
  Machine machine("paired");
  std::vector<double> installWall, floorWall, installCpu, floorCpu;
  for (auto _ : state) {
    state.PauseTiming();
    for (int turn = 0; turn < 2; ++turn) {
      const bool installing = turn == 1;
      if (installing) {
        machine.clearInstallation();
        resetRunState();
        resetCompressionState();
      } else {
        machine.clearInstallation();
        pq::os().deleteFile("C:\\WINDOWS\\copy.dat");
      }
      const auto wallStart = std::chrono::steady_clock::now();
      const double cpuStart = threadCpuSeconds();
      if (installing) {
        TForm1 form;
        form.FormCreate(nullptr);
        form.butInstallClick(nullptr);
        const double cpu = threadCpuSeconds() - cpuStart;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        form.Close();
        installWall.push_back(wall);
        installCpu.push_back(cpu);
      } else {
        floorOnce(machine, nullptr);
        floorCpu.push_back(threadCpuSeconds() - cpuStart);
        floorWall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count());
      }
    }
    state.ResumeTiming();
  }
  ratio = Ratio{installWall.size(), median(installWall) * 1e3, median(floorWall) * 1e3, median(installCpu) * 1e3,
                median(floorCpu) * 1e3};
  state.counters["ratio"] = ratio.installMs / ratio.floorMs;
  state.counters["cpu_ratio"] = ratio.installCpuMs / ratio.floorCpuMs;
}

} // namespace

BENCHMARK(BM_IoFloor)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ScreenSaverInstallation)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_InstallationOverFloor)->Unit(benchmark::kMillisecond)->Iterations(60);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  prepared();
  benchmark::RunSpecifiedBenchmarks();
  if (ratio.floorMs > 0) {
    std::printf("installation / I/O floor, medians of %zu turns each: real %.1f ms / %.1f ms = %.2fx (aim: at most "
                "1.50x); CPU %.1f ms / %.1f ms = %.2fx\n",
                ratio.turns, ratio.installMs, ratio.floorMs, ratio.installMs / ratio.floorMs, ratio.installCpuMs,
                ratio.floorCpuMs, ratio.installCpuMs / ratio.floorCpuMs);
  }
  benchmark::Shutdown();
  return 0;
}
