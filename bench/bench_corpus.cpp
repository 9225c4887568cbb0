#include "bench_corpus.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

namespace pq::bench {

namespace {

// Essential packages: installed on every Debian system, binaries and text alike.
const char kPackages[] =
    "coreutils bash perl-base dpkg libc6 libc-bin util-linux tar grep sed findutils gzip diffutils";

std::vector<std::string> packageFiles() {
  const std::string command = std::string("dpkg-query -L ") + kPackages + " 2>/dev/null";
  std::vector<std::string> paths;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return paths;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::string path(line);
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) paths.push_back(path);
  }
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  return paths;
}

} // namespace

Corpus loadCorpus(size_t size) {
  Corpus corpus;
  for (const std::string& path : packageFiles()) {
    if (corpus.bytes.size() >= size) break;
    std::ifstream file(path, std::ios::binary);
    if (!file) continue;
    std::vector<uint8_t> content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    corpus.bytes.insert(corpus.bytes.end(), content.begin(), content.end());
    ++corpus.fileCount;
    if (corpus.fileCount == 1) corpus.description = "from " + path;
    else corpus.description.resize(corpus.description.find(" to ") == std::string::npos
                                       ? corpus.description.size() : corpus.description.find(" to "));
    corpus.description += " to " + path;
  }
  if (corpus.bytes.size() > size) corpus.bytes.resize(size);
  corpus.description = std::string("files of ") + kPackages + " (dpkg -L, sorted), " + corpus.description;
  return corpus;
}

} // namespace pq::bench
