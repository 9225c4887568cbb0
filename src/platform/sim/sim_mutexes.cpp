// Named mutexes shared with other programs: this program's ownership, counted as Windows
// counts a thread's repeated waits, and the other programs a test says hold one.
#include "platform/sim/sim_state.h"

namespace pq {

namespace {

class SimMutex : public OsMutex {
public:
  SimMutex(SimOs& os, std::string name) : os(os), name(std::move(name)) {}

  WaitResult wait(uint32_t) override {
    if (os.enterCall("wait", name)) return WaitResult::Failed;
    sim::MutexState& mutex = os.state().mutexes[name];
    if (mutex.abandoned) {
      mutex = sim::MutexState{1, false, false};
      return WaitResult::Abandoned;
    }
    // Nothing else runs while this program waits here, so a held mutex stays held.
    if (mutex.heldElsewhere) return WaitResult::Timeout;
    ++mutex.ownedHere;
    return WaitResult::Signaled;
  }

  bool release() override {
    if (os.enterCall("release", name)) return false;
    sim::MutexState& mutex = os.state().mutexes[name];
    if (mutex.ownedHere == 0) {
      os.setLastError(kWinErrorNotOwner);
      return false;
    }
    --mutex.ownedHere;
    return true;
  }

private:
  SimOs& os;
  std::string name;
};

} // namespace

std::unique_ptr<OsMutex> SimOs::createMutex(const std::string& name) {
  if (enterCall("createMutex", name)) return nullptr;
  internal->mutexes[name];
  return std::make_unique<SimMutex>(*this, name);
}

void SimOs::holdMutexElsewhere(const std::string& name, bool held) {
  sim::MutexState& mutex = internal->mutexes[name];
  mutex.heldElsewhere = held;
  mutex.abandoned = false;
}

void SimOs::abandonMutexElsewhere(const std::string& name) {
  sim::MutexState& mutex = internal->mutexes[name];
  mutex.heldElsewhere = false;
  mutex.abandoned = true;
}

int SimOs::mutexOwnedHere(const std::string& name) const {
  const auto found = internal->mutexes.find(name);
  return found == internal->mutexes.end() ? 0 : found->second.ownedHere;
}

} // namespace pq
