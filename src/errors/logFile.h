// The trace log for support: each operation hands its name and argument on entry and its name
// and result on exit, and a few operations add lines of their own ("pathWindows " + path).
//
// It costs nothing by default: without PQ_TRACE every call below is an empty inline function.
// A traced build (cmake -DPQ_TRACE=ON) writes the lines to a log file beside the temporary
// copy of the installer; lines traced before that path is known are kept and written first,
// lines traced after the log is closed are dropped. A message's line breaks are written as
// "\r" and "\n", so each record stays one line.
//
// Use: one line at the top of an operation,
//     TResult result = 0;
//     LogOperation trace("installFiles", path, &result);
// and the exit line carries whatever `result` holds when the operation returns. An operation
// that reports its result under another name gives that name last.
//
// The lines: "> name argument" on entry, "< name result" on exit, extra lines as they are,
// each indented two spaces per operation still open.
#pragma once

#include <cstdint>
#include <string>

#if defined(PQ_TRACE) && PQ_TRACE

void logLine(const std::string& text);
// Starts writing to `logPath`, after the lines kept so far.
void logOpen(const std::string& logPath);
void logClose();
// Back to the state of a new process: nothing kept, no file, no open operations.
void logReset();

class LogOperation {
public:
  LogOperation(const char* operation, const std::string& argument, const int32_t* result = nullptr,
               const char* exitName = nullptr);
  ~LogOperation();
  LogOperation(const LogOperation&) = delete;
  LogOperation& operator=(const LogOperation&) = delete;

private:
  const char* exitName;
  const int32_t* result;
};

#else

inline void logLine(const std::string&) {}
inline void logOpen(const std::string&) {}
inline void logClose() {}
inline void logReset() {}

class LogOperation {
public:
  LogOperation(const char*, const std::string&, const int32_t* = nullptr, const char* = nullptr) {}
};

#endif
