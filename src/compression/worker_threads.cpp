#include "compression/worker_threads.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <thread>
#endif

namespace pq {

namespace {

// The tasks still to run, taken one at a time by whichever worker is free.
struct TaskQueue {
  size_t count;
  const std::function<void(size_t)>* task;
  std::atomic<size_t> next{0};

  void work() {
    for (size_t index = next++; index < count; index = next++) (*task)(index);
  }
};

#ifdef _WIN32
DWORD WINAPI workOnQueue(LPVOID queue) {
  static_cast<TaskQueue*>(queue)->work();
  return 0;
}
#endif

} // namespace

unsigned coreCount() {
#ifdef _WIN32
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return std::max<unsigned>(1, info.dwNumberOfProcessors);
#else
  return std::max(1u, std::thread::hardware_concurrency());
#endif
}

void runInParallel(size_t count, unsigned workers, const std::function<void(size_t)>& task) {
  TaskQueue queue;
  queue.count = count;
  queue.task = &task;
  const size_t helpers = std::min<size_t>(count, std::max(1u, workers)) - (count > 0 ? 1 : 0);
#ifdef _WIN32
  std::vector<HANDLE> threads;
  for (size_t index = 0; index < helpers; ++index) {
    HANDLE thread = CreateThread(nullptr, 0, workOnQueue, &queue, 0, nullptr);
    if (thread != nullptr) threads.push_back(thread);  // without it, the others take its share
  }
  queue.work();
  for (HANDLE thread : threads) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
#else
  std::vector<std::thread> threads;
  try {
    threads.reserve(helpers);
    for (size_t index = 0; index < helpers; ++index) threads.emplace_back([&queue] { queue.work(); });
  } catch (const std::exception&) {
    // A thread that cannot start: the others take its share.
  }
  queue.work();
  for (std::thread& thread : threads) thread.join();
#endif
}

} // namespace pq
