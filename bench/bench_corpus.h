// The benchmark corpus: files every Debian machine has, chosen the same way each time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pq::bench {

struct Corpus {
  std::vector<uint8_t> bytes;
  size_t fileCount = 0;
  std::string description;
};

// The regular files installed by a fixed list of Essential packages (as dpkg lists them),
// in sorted path order, concatenated until `size` bytes.
Corpus loadCorpus(size_t size);

} // namespace pq::bench
