// Our implode codec beside zlib on the same corpus, in one run:
//   explode MB/s (of output, through the callback contract) beside zlib inflate MB/s of the
//   corpus deflated at level 6, and their ratio from the two taken in turns;
//   implode fast and best MB/s and sizes beside zlib deflate sizes at levels 6 and 9.
// Each codec compresses the corpus once up front; the decoders then run on those streams.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "bench_corpus.h"
#include "bench_timing.h"
#include "compression/implode.h"
#include "compression/worker_threads.h"

namespace {

constexpr size_t kCorpusSize = 24u << 20;

struct Prepared {
  pq::bench::Corpus corpus;
  std::vector<uint8_t> implodedFast;
  std::vector<uint8_t> implodedBest;
  std::vector<uint8_t> deflated6;
  size_t deflated9Size = 0;
};

std::vector<uint8_t> deflateAt(const std::vector<uint8_t>& input, int level) {
  uLongf size = compressBound(input.size());
  std::vector<uint8_t> output(size);
  if (compress2(output.data(), &size, input.data(), input.size(), level) != Z_OK) std::abort();
  output.resize(size);
  return output;
}

const Prepared& prepared() {
  static const Prepared* instance = [] {
    auto* p = new Prepared;
    p->corpus = pq::bench::loadCorpus(kCorpusSize);
    pq::implodeBuffer(p->corpus.bytes.data(), p->corpus.bytes.size(), {PQ_CMP_BINARY, 4096, pq::ImplodeLevel::Fast},
                      &p->implodedFast);
    pq::implodeBuffer(p->corpus.bytes.data(), p->corpus.bytes.size(), {PQ_CMP_BINARY, 4096, pq::ImplodeLevel::Best},
                      &p->implodedBest);
    p->deflated6 = deflateAt(p->corpus.bytes, 6);
    p->deflated9Size = deflateAt(p->corpus.bytes, 9).size();
    return p;
  }();
  return *instance;
}

// The callbacks as the installer's binding uses them: input from memory in the decoder's
// requests, output appended to a preallocated buffer.
struct CallbackStreams {
  const uint8_t* input;
  size_t remaining;
  uint8_t* output;
  size_t produced;
};

uint32_t PQ_CDECL readSpan(char* buffer, uint32_t* size, void* param) {
  auto* s = static_cast<CallbackStreams*>(param);
  const uint32_t count = static_cast<uint32_t>(std::min<size_t>(*size, s->remaining));
  std::memcpy(buffer, s->input, count);
  s->input += count;
  s->remaining -= count;
  return count;
}

void PQ_CDECL writeSpan(char* buffer, uint32_t* size, void* param) {
  auto* s = static_cast<CallbackStreams*>(param);
  std::memcpy(s->output + s->produced, buffer, *size);
  s->produced += *size;
}

void setSize(benchmark::State& state, size_t size, size_t inputSize) {
  state.counters["size"] = static_cast<double>(size);
  state.counters["ratio"] = static_cast<double>(size) / static_cast<double>(inputSize);
}

// One decode of the fast stream through the callbacks, and one zlib inflate of the level-6
// stream; each says whether it delivered the corpus.
bool explodeOnce(const Prepared& p, std::vector<uint8_t>& output, std::vector<char>& workArea) {
  CallbackStreams streams{p.implodedFast.data(), p.implodedFast.size(), output.data(), 0};
  return pq_explode(readSpan, writeSpan, workArea.data(), &streams) == PQ_CMP_NO_ERROR &&
         streams.produced == p.corpus.bytes.size();
}

bool inflateOnce(const Prepared& p, std::vector<uint8_t>& output) {
  uLongf size = output.size();
  return uncompress(output.data(), &size, p.deflated6.data(), p.deflated6.size()) == Z_OK &&
         size == p.corpus.bytes.size();
}

void BM_Explode(benchmark::State& state) {
  const Prepared& p = prepared();
  std::vector<uint8_t> output(p.corpus.bytes.size() + 4096);
  std::vector<char> workArea(PQ_EXPLODE_WORK_SIZE);
  for (auto _ : state) {
    if (!explodeOnce(p, output, workArea)) state.SkipWithError("explode failed");
  }
  if (std::memcmp(output.data(), p.corpus.bytes.data(), p.corpus.bytes.size()) != 0) state.SkipWithError("mismatch");
  state.SetBytesProcessed(state.iterations() * p.corpus.bytes.size());
}

void BM_ZlibInflate(benchmark::State& state) {
  const Prepared& p = prepared();
  std::vector<uint8_t> output(p.corpus.bytes.size());
  for (auto _ : state) {
    if (!inflateOnce(p, output)) state.SkipWithError("inflate failed");
  }
  state.SetBytesProcessed(state.iterations() * p.corpus.bytes.size());
}

// The ratio the summary gives: explode and inflate in turns, each turn's CPU time, medians of
// each. Run one after the other, the two would meet different loads on a shared machine.
struct DecoderTurns {
  size_t turns = 0;
  double explodeMs = 0, inflateMs = 0;
} decoderTurns;

void BM_ExplodeOverInflate(benchmark::State& state) {
  const Prepared& p = prepared();
  std::vector<uint8_t> output(p.corpus.bytes.size() + 4096);
  std::vector<char> workArea(PQ_EXPLODE_WORK_SIZE);
  std::vector<double> explodeTimes, inflateTimes;
  for (auto _ : state) {
    double start = pq::bench::threadCpuSeconds();
    const bool exploded = explodeOnce(p, output, workArea);
    explodeTimes.push_back(pq::bench::threadCpuSeconds() - start);
    start = pq::bench::threadCpuSeconds();
    const bool inflated = inflateOnce(p, output);
    inflateTimes.push_back(pq::bench::threadCpuSeconds() - start);
    if (!exploded || !inflated) state.SkipWithError("a decoder failed");
  }
  decoderTurns = DecoderTurns{explodeTimes.size(), pq::bench::median(explodeTimes) * 1e3,
                              pq::bench::median(inflateTimes) * 1e3};
  state.counters["ratio"] = decoderTurns.inflateMs / decoderTurns.explodeMs;
}

void implodeBenchmark(benchmark::State& state, pq::ImplodeLevel level) {
  const Prepared& p = prepared();
  std::vector<uint8_t> stream;
  for (auto _ : state) {
    pq::implodeBuffer(p.corpus.bytes.data(), p.corpus.bytes.size(), {PQ_CMP_BINARY, 4096, level, 1}, &stream);
  }
  state.SetBytesProcessed(state.iterations() * p.corpus.bytes.size());
  setSize(state, stream.size(), p.corpus.bytes.size());
}

void BM_ImplodeFast(benchmark::State& state) { implodeBenchmark(state, pq::ImplodeLevel::Fast); }
void BM_ImplodeBest(benchmark::State& state) { implodeBenchmark(state, pq::ImplodeLevel::Best); }

// Best on the number of threads given (0: every core), timed by the clock since CPU time
// would miss the other threads; the stream must be the one every thread count writes.
void BM_ImplodeBestThreads(benchmark::State& state) {
  const Prepared& p = prepared();
  const unsigned threads = static_cast<unsigned>(state.range(0));
  const pq::ImplodeOptions options{PQ_CMP_BINARY, 4096, pq::ImplodeLevel::Best, threads};
  std::vector<uint8_t> stream;
  for (auto _ : state) pq::implodeBuffer(p.corpus.bytes.data(), p.corpus.bytes.size(), options, &stream);
  if (stream != p.implodedBest) state.SkipWithError("the stream depends on the thread count");
  state.SetBytesProcessed(state.iterations() * p.corpus.bytes.size());
  setSize(state, stream.size(), p.corpus.bytes.size());
}

void deflateBenchmark(benchmark::State& state, int level) {
  const Prepared& p = prepared();
  std::vector<uint8_t> stream;
  for (auto _ : state) stream = deflateAt(p.corpus.bytes, level);
  state.SetBytesProcessed(state.iterations() * p.corpus.bytes.size());
  setSize(state, stream.size(), p.corpus.bytes.size());
}

void BM_ZlibDeflate6(benchmark::State& state) { deflateBenchmark(state, 6); }
void BM_ZlibDeflate9(benchmark::State& state) { deflateBenchmark(state, 9); }

BENCHMARK(BM_Explode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExplodeOverInflate)->Unit(benchmark::kMillisecond)->Iterations(41);
BENCHMARK(BM_ImplodeFast)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImplodeBest)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ImplodeBestThreads)->ArgName("threads")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_ZlibDeflate6)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ZlibDeflate9)->Unit(benchmark::kMillisecond)->Iterations(1);

// Keeps each benchmark's throughput for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto found = run.counters.find("bytes_per_second");
      if (found != run.counters.end()) megabytesPerSecond[run.benchmark_name()] = found->second.value / 1e6;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> megabytesPerSecond;
};

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const Prepared& p = prepared();
  const double corpusSize = static_cast<double>(p.corpus.bytes.size());
  std::printf("corpus: %zu bytes in %zu files: %s\n\n", p.corpus.bytes.size(), p.corpus.fileCount,
              p.corpus.description.c_str());
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  auto speed = [&](const char* name) {
    // Run names carry suffixes such as "/min_time:2.000".
    for (const auto& [runName, value] : reporter.megabytesPerSecond) {
      if (runName == name || runName.rfind(std::string(name) + "/", 0) == 0) return value;
    }
    return 0.0;
  };
  const double explode = speed("BM_Explode");
  const double inflate = speed("BM_ZlibInflate");
  std::printf("\nsummary (MB = 10^6 bytes of uncompressed data)\n");
  std::printf("  explode       %8.1f MB/s   zlib inflate (level 6) %8.1f MB/s   (each on its own)\n", explode, inflate);
  if (decoderTurns.explodeMs > 0) {
    std::printf("  explode/inflate %.2fx: medians of %zu turns each, CPU %.1f ms / %.1f ms (aim: at least 2.50x)\n",
                decoderTurns.inflateMs / decoderTurns.explodeMs, decoderTurns.turns, decoderTurns.explodeMs,
                decoderTurns.inflateMs);
  }
  std::printf("  implode fast  %8.1f MB/s   size %10zu  (%.2f%% of input)\n", speed("BM_ImplodeFast"),
              p.implodedFast.size(), 100.0 * p.implodedFast.size() / corpusSize);
  std::printf("  implode best  %8.1f MB/s   size %10zu  (%.2f%% of input)\n", speed("BM_ImplodeBest"),
              p.implodedBest.size(), 100.0 * p.implodedBest.size() / corpusSize);
  const double oneThread = speed("BM_ImplodeBestThreads/threads:1");
  const double allThreads = speed("BM_ImplodeBestThreads/threads:0");
  std::printf("  implode best  %8.1f MB/s on 1 thread, %.1f MB/s on all %u (wall clock): speed-up %.2fx\n", oneThread,
              allThreads, pq::coreCount(), oneThread > 0 ? allThreads / oneThread : 0.0);
  std::printf("  zlib level 6                  size %10zu  (%.2f%% of input)\n", p.deflated6.size(),
              100.0 * p.deflated6.size() / corpusSize);
  std::printf("  zlib level 9                  size %10zu  (%.2f%% of input)\n", p.deflated9Size,
              100.0 * p.deflated9Size / corpusSize);
  std::printf("  fast/best size %.4f   best/zlib6 size %.4f   best/zlib9 size %.4f\n",
              static_cast<double>(p.implodedFast.size()) / p.implodedBest.size(),
              static_cast<double>(p.implodedBest.size()) / p.deflated6.size(),
              static_cast<double>(p.implodedBest.size()) / p.deflated9Size);
  benchmark::Shutdown();
  return 0;
}
