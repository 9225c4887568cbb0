#include <windows.h>

#include <vector>

#include "compression/worker_threads.h"

namespace pq {

namespace {

struct Call {
  void (*work)(void*);
  void* context;
};

DWORD WINAPI threadMain(LPVOID param) {
  const Call* call = static_cast<const Call*>(param);
  call->work(call->context);
  return 0;
}

} // namespace

unsigned hardwareThreadCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

void runOnThreads(unsigned count, void (*work)(void*), void* context) {
  Call call{work, context};
  std::vector<HANDLE> threads;
  try {
    threads.reserve(count > 0 ? count - 1 : 0);
  } catch (...) {
    count = 1;
  }
  for (unsigned i = 1; i < count; ++i) {
    const HANDLE thread = CreateThread(nullptr, 0, threadMain, &call, 0, nullptr);
    if (thread == nullptr) break; // fewer threads: the ones started and the caller share the work
    threads.push_back(thread);
  }
  work(context);
  for (HANDLE thread : threads) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

} // namespace pq
