// A fuzz target's check: a broken rule aborts, so that libFuzzer keeps the input.
#pragma once

#include <cstdlib>

namespace pq::fuzz {

inline void check(bool condition) {
  if (!condition) std::abort();
}

} // namespace pq::fuzz
