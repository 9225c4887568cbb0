// Timing helpers for ratios taken in turns: two jobs measured alternately on one machine, so
// that whatever else the machine is doing weighs on both alike, and compared as medians.
#pragma once

#include <algorithm>
#include <ctime>
#include <vector>

namespace pq::bench {

// CPU time of the calling thread: on a shared machine steadier than the clock, since another
// job's time slices do not count.
inline double threadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace pq::bench
