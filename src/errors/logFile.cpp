#include "errors/logFile.h"

#if defined(PQ_TRACE) && PQ_TRACE

#include <memory>
#include <vector>

#include "platform/os.h"

namespace {

struct TraceLog {
  std::vector<std::string> pending; // lines traced before the log file was opened
  std::unique_ptr<pq::OsFile> file;
  int depth = 0;
};

TraceLog& traceLog() {
  static TraceLog log;
  return log;
}

void writeLine(const std::string& line) {
  TraceLog& log = traceLog();
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
  writeLine(std::string(static_cast<size_t>(traceLog().depth) * 2, ' ') + text);
}

void logOpen(const std::string& logPath) {
  TraceLog& log = traceLog();
  log.file = pq::os().openFile(logPath, pq::FileAccess::Write, pq::FileShare::Read, pq::FileCreation::CreateAlways);
  if (!log.file) return;
  std::vector<std::string> pending;
  pending.swap(log.pending);
  for (const std::string& line : pending) writeLine(line);
}

void logClose() { traceLog().file.reset(); }

LogOperation::LogOperation(const char* operation, const std::string& argument, const int32_t* result)
    : operation(operation), result(result) {
  logLine(std::string("> ") + operation + " " + argument);
  ++traceLog().depth;
}

LogOperation::~LogOperation() {
  --traceLog().depth;
  logLine(std::string("< ") + operation + (result ? " " + std::to_string(*result) : std::string()));
}

#endif
