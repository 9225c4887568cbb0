#include "progress_meter.h"

#include <algorithm>

#include "console_text.h"

namespace pqpack {

namespace {

// Quick builds show nothing; a long one is redrawn this often, often enough to see it move,
// seldom enough to cost nothing.
constexpr auto kFirstDrawing = std::chrono::seconds(1);
constexpr auto kRedrawing = std::chrono::milliseconds(250);

std::string megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e6);
  return text;
}

} // namespace

ProgressMeter::ProgressMeter(std::FILE* terminal, std::string command)
    : terminal(terminal),
      command(std::move(command)),
      started(Clock::now()),
      nextDrawing(std::chrono::duration_cast<Clock::duration>(kFirstDrawing).count()) {}

std::string ProgressMeter::line(const std::string& command, const std::string& phase, uint64_t done, uint64_t total) {
  const std::string text = command + ": " + phase;
  if (total == 0) return text + "...";
  const uint64_t shown = done < total ? done : total;
  return text + " " + std::to_string(shown * 100 / total) + "% (" + megabytes(shown) + " of " + megabytes(total) +
         " MB)";
}

void ProgressMeter::begin(const std::string& phase, uint64_t total) {
  if (terminal == nullptr) return;
  this->phase = phase;
  this->total = total;
  done = 0;
  drawIfDue();
}

void ProgressMeter::advance(uint64_t work) {
  if (terminal == nullptr) return;
  done += work;
  drawIfDue();
}

void ProgressMeter::drawIfDue() {
  const int64_t now = (Clock::now() - started).count();
  if (now < nextDrawing || drawing.exchange(true)) return;
  nextDrawing = now + std::chrono::duration_cast<Clock::duration>(kRedrawing).count();
  const std::string shown = printableText(line(command, phase, done, total));
  // Spaces over what is left of a longer line before.
  const size_t rest = shownWidth > shown.size() ? shownWidth - shown.size() : 0;
  std::fprintf(terminal, "\r%s%*s", shown.c_str(), static_cast<int>(rest), "");
  std::fflush(terminal);
  shownWidth = std::max(shownWidth, shown.size());
  drawing = false;
}

void ProgressMeter::end() {
  if (terminal == nullptr || drawing.exchange(true)) return;
  if (shownWidth > 0) {
    std::fprintf(terminal, "\r%*s\r", static_cast<int>(shownWidth), "");
    std::fflush(terminal);
    shownWidth = 0;
  }
  drawing = false;
}

} // namespace pqpack
