// A long build's progress, for the person watching a terminal: one line, rewritten in place a
// few times a second ("pqpack build: compressing 45% (230.1 of 511.4 MB)"), and gone when the
// build is done. Nothing is drawn before a build has taken a second, so quick builds show none,
// and nothing at all in a pipe or a file (a CI log): the caller gives no terminal then.
// The line is drawn by whichever thread reports work when a drawing is due (pqpack.exe's
// runtime has no std::thread to keep a drawer of its own).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace pqpack {

class ProgressMeter {
public:
  // Draws on `terminal` as `command` ("pqpack build"); with null, draws nothing.
  ProgressMeter(std::FILE* terminal, std::string command);
  ~ProgressMeter() { end(); }
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  // Starts a phase ("compressing") of `total` units of work (bytes); 0 for a phase without a
  // measure, shown by its name alone. Called while no other thread reports work.
  void begin(const std::string& phase, uint64_t total);
  // Adds work done; any thread may call it.
  void advance(uint64_t work);
  // Clears the line, leaving the terminal as it was for what is printed next.
  void end();

  // The line shown for `done` of `total` bytes of `phase`.
  static std::string line(const std::string& command, const std::string& phase, uint64_t done, uint64_t total);

private:
  using Clock = std::chrono::steady_clock;
  void drawIfDue();

  std::FILE* terminal;
  const std::string command;
  const Clock::time_point started;
  std::string phase;
  uint64_t total = 0;
  std::atomic<uint64_t> done{0};
  std::atomic<int64_t> nextDrawing;  // Clock ticks since `started`
  std::atomic<bool> drawing{false};  // one thread draws at a time; the others go on
  size_t shownWidth = 0;             // of the line on the terminal now
};

} // namespace pqpack
