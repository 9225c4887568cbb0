#include "interruptions.h"

#include <algorithm>
#include <chrono>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <mutex>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace pqpack {

namespace {

// How long a started program is given to end by itself once asked to, before it is killed.
constexpr auto kProgramGrace = std::chrono::seconds(3);
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// pqpack.exe's runtime has no std::mutex.
class Lock {
public:
#ifdef _WIN32
  Lock() { InitializeCriticalSection(&section); }
  void lock() { EnterCriticalSection(&section); }
  void unlock() { LeaveCriticalSection(&section); }

private:
  CRITICAL_SECTION section;
#else
  void lock() { mutex.lock(); }
  void unlock() { mutex.unlock(); }

private:
  std::mutex mutex;
#endif
};

class Locked {
public:
  explicit Locked(Lock& lock) : held(lock) { held.lock(); }
  ~Locked() { held.unlock(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

private:
  Lock& held;
};

struct Registry {
  Lock lock;
  std::vector<std::filesystem::path> files;
  std::vector<StartedProgram> programs;
};

Registry& registry() {
  // Never destroyed: the interruption's thread may still use it while the program exits.
  static Registry* const instance = new Registry;
  return *instance;
}

template <typename T>
void forget(std::vector<T>* items, const T& item) {
  const auto found = std::find(items->begin(), items->end(), item);
  if (found != items->end()) items->erase(found);
}

#ifdef _WIN32

void stopProgram(StartedProgram program) {
  if (WaitForSingleObject(program, 0) == WAIT_TIMEOUT) TerminateProcess(program, 1);
  WaitForSingleObject(program, static_cast<DWORD>(std::chrono::milliseconds(kProgramGrace).count()));
}

#else

bool hasEnded(StartedProgram program) {
  siginfo_t info = {};
  // WNOWAIT: the process stays to be reaped by the thread that started it.
  if (waitid(P_PID, static_cast<id_t>(program), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return true;
  return info.si_pid != 0;
}

void stopProgram(StartedProgram program) {
  kill(program, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + kProgramGrace;
  while (!hasEnded(program) && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(kPollInterval);
  if (!hasEnded(program)) {
    kill(program, SIGKILL);
    siginfo_t info = {};
    waitid(P_PID, static_cast<id_t>(program), &info, WEXITED | WNOWAIT);
  }
}

#endif

// Stops every registered program, then removes every registered file: a program may still be
// writing one. The registry stays locked: nothing is registered or forgotten after this.
void cleanUp() {
  Registry& state = registry();
  state.lock.lock();
  for (StartedProgram program : state.programs) stopProgram(program);
  for (const std::filesystem::path& file : state.files) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
  }
}

} // namespace

void registerTemporaryFile(const std::filesystem::path& path) {
  Locked locked(registry().lock);
  registry().files.push_back(path);
}

void forgetTemporaryFile(const std::filesystem::path& path) {
  Locked locked(registry().lock);
  forget(&registry().files, path);
}

void createWithInterruptionsHeld(const std::function<void()>& create) {
  Locked locked(registry().lock);
  create();
}

bool startRegisteredProgram(const std::function<bool(StartedProgram*)>& start) {
  Locked locked(registry().lock);
  StartedProgram program{};
  if (!start(&program)) return false;
  registry().programs.push_back(program);
  return true;
}

void forgetProgram(StartedProgram program) {
  Locked locked(registry().lock);
  forget(&registry().programs, program);
}

#ifdef _WIN32

namespace {

BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  cleanUp();
  return FALSE;  // the default handler ends the process
}

} // namespace

void cleanUpWhenInterrupted() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

#else

void cleanUpWhenInterrupted() {
  // The signals are blocked in every thread and taken by one thread of their own, where
  // cleaning up may lock, allocate and wait, as no signal handler could.
  // A signal pqpack was started to ignore (nohup, a background job) stays ignored.
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current = {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) sigaddset(&signals, signal);
  }
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals] {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) return;
    cleanUp();
    std::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    _exit(128 + signal);
  }).detach();
}

#endif

} // namespace pqpack
