#include <thread>
#include <vector>

#include "compression/worker_threads.h"

namespace pq {

unsigned hardwareThreadCount() {
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? count : 1;
}

void runOnThreads(unsigned count, void (*work)(void*), void* context) {
  std::vector<std::thread> threads;
  try {
    threads.reserve(count > 0 ? count - 1 : 0);
    for (unsigned i = 1; i < count; ++i) threads.emplace_back(work, context);
  } catch (...) {
    // Fewer threads: the ones started and the caller share the work.
  }
  work(context);
  for (std::thread& thread : threads) thread.join();
}

} // namespace pq
