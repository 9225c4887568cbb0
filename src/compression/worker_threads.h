// Work spread over the machine's cores, on Linux and in pqpack.exe alike (whose runtime has
// no std::thread): the memory API's implode and pqpack's build. The codec itself never starts
// a thread, so impborl.dll, built from it, stays single-threaded.
#pragma once

#include <cstddef>
#include <functional>

namespace pq {

// The number of cores the system offers, at least 1.
unsigned coreCount();

// `requested` threads, or every core for 0.
inline unsigned threadsFor(unsigned requested) { return requested == 0 ? coreCount() : requested; }

// Runs task(0) to task(count - 1), up to `workers` of them at once (the calling thread is one
// of the workers), and returns when all have finished. Tasks must not share what they write.
void runInParallel(size_t count, unsigned workers, const std::function<void(size_t)>& task);

} // namespace pq
