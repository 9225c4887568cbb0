// Threads for the memory API's parallel encoding. The codec itself never starts one, so the
// library built from it (impborl.dll) stays single-threaded; only what calls implodeBuffer
// links this. One implementation per platform: the host's standard threads, and Win32
// threads for the Windows build, whose runtime has no std::thread.
#pragma once

namespace pq {

// How many threads the machine runs at once; at least 1.
unsigned hardwareThreadCount();

// Calls work(context) on `count` threads, one of them the caller's own, and returns once
// every call has returned. A thread that cannot be started is left out, so `work` takes its
// tasks from a queue it shares rather than counting on every call; it must not throw.
void runOnThreads(unsigned count, void (*work)(void*), void* context);

} // namespace pq
