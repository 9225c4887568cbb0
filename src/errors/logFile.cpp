#include "errors/logFile.h"

#if defined(PQ_TRACE) && PQ_TRACE

#include <memory>
#include <vector>

#include "platform/os.h"

namespace {

struct TraceLog {
  std::vector<std::string> pending; // lines traced before the log file was opened
  std::unique_ptr<pq::OsFile> file;
  bool closed = false;
  int depth = 0;
};

TraceLog& traceLog() {
  static TraceLog log;
  return log;
}

void writeLine(const std::string& line) {
  TraceLog& log = traceLog();
  if (log.closed) return;
  if (!log.file) {
    log.pending.push_back(line);
    return;
  }
  const std::string text = line + "\r\n";
  uint32_t written = 0;
  log.file->write(text.data(), static_cast<uint32_t>(text.size()), &written);
}

} // namespace

void logLine(const std::string& text) {
  std::string line(static_cast<size_t>(traceLog().depth) * 2, ' ');
  for (char c : text) {
    if (c == '\r') {
      line += "\\r";
    } else if (c == '\n') {
      line += "\\n";
    } else {
      line += c;
    }
  }
  writeLine(line);
}

void logOpen(const std::string& logPath) {
  TraceLog& log = traceLog();
  log.file = pq::os().openFile(logPath, pq::FileAccess::Write, pq::FileShare::Read, pq::FileCreation::CreateAlways);
  if (!log.file) return; // no log then: lines are kept until the window closes
  std::vector<std::string> pending;
  pending.swap(log.pending);
  for (const std::string& line : pending) writeLine(line);
}

void logClose() {
  TraceLog& log = traceLog();
  log.file.reset();
  log.pending.clear();
  log.closed = true;
}

void logReset() {
  logClose();
  traceLog() = TraceLog();
}

LogOperation::LogOperation(const char* operation, const std::string& argument, const int32_t* result,
                           const char* exitName)
    : exitName(exitName != nullptr ? exitName : operation), result(result) {
  logLine(std::string("> ") + operation + (argument.empty() ? std::string() : " " + argument));
  ++traceLog().depth;
}

LogOperation::~LogOperation() {
  --traceLog().depth;
  logLine(std::string("< ") + exitName + (result ? " " + std::to_string(*result) : std::string()));
}

#endif
