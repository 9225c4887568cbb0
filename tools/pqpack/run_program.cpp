#include "run_program.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "file_io.h"
#include "interruptions.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace pqpack {

#ifdef _WIN32

namespace {

constexpr char kPathSeparator = ';';
constexpr const char* kProgramSuffix = ".exe";

std::wstring wide(const std::string& utf8) { return pathOf(utf8).wstring(); }

// One argument as the C runtime of the started program splits the command line again:
// quoted when it holds blanks or quotes, with the backslashes before a quote doubled.
std::wstring quotedArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

} // namespace

bool runProgram(const std::string& program, const std::vector<std::string>& arguments, const ProgramOptions& options,
                int* status, std::string* output) {
  std::wstring commandLine = quotedArgument(wide(program));
  for (const std::string& argument : arguments) commandLine += L" " + quotedArgument(wide(argument));

  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return false;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process = {};
  // Without a console of its own (CREATE_NO_WINDOW) a program has no terminal to ask on:
  // options.withoutTerminal always holds here. options.input is for Linux only.
  static_cast<void>(options);
  const DWORD flags = CREATE_NO_WINDOW;
  const bool started = startRegisteredProgram([&](StartedProgram* started) {
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup,
                        &process)) {
      return false;
    }
    *started = process.hProcess;
    return true;
  });
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return false;
  }
  output->clear();
  char buffer[4096];
  DWORD count = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &count, nullptr) && count > 0) output->append(buffer, count);
  CloseHandle(readEnd);
  WaitForSingleObject(process.hProcess, INFINITE);
  forgetProgram(process.hProcess);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  *status = static_cast<int>(exitCode);
  return true;
}

#else

namespace {

constexpr char kPathSeparator = ':';
constexpr const char* kProgramSuffix = "";

} // namespace

namespace {

// Writes all of `bytes` to the pipe `descriptor`, and closes it. A program that has already
// ended leaves a broken pipe, which must not end pqpack (SIGPIPE) before it has said why.
void writeAndClose(int descriptor, const std::string& bytes) {
  sigset_t brokenPipe, previous;
  sigemptyset(&brokenPipe);
  sigaddset(&brokenPipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &brokenPipe, &previous);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = write(descriptor, bytes.data() + done, bytes.size() - done);
    if (count > 0) {
      done += static_cast<size_t>(count);
    } else if (errno != EINTR) {
      if (errno == EPIPE) {
        const timespec now = {0, 0};
        sigtimedwait(&brokenPipe, nullptr, &now);
      }
      break;
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  close(descriptor);
}

} // namespace

bool runProgram(const std::string& program, const std::vector<std::string>& arguments, const ProgramOptions& options,
                int* status, std::string* output) {
  int outputEnds[2];
  int inputEnds[2] = {-1, -1};
  if (pipe(outputEnds) != 0) return false;
  if (options.input && pipe(inputEnds) != 0) {
    close(outputEnds[0]);
    close(outputEnds[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outputEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, outputEnds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, outputEnds[0]);
  posix_spawn_file_actions_addclose(&actions, outputEnds[1]);
  if (options.input) {
    posix_spawn_file_actions_adddup2(&actions, inputEnds[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, inputEnds[0]);
    posix_spawn_file_actions_addclose(&actions, inputEnds[1]);
  }
  // pqpack blocks the signals that interrupt it (interruptions.h); the program must not
  // inherit that, or it could not be stopped.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  short flags = POSIX_SPAWN_SETSIGMASK;
  if (options.withoutTerminal) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(&attributes, flags);
  std::vector<std::string> words = {program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  pid_t child = 0;
  const bool started = startRegisteredProgram([&](StartedProgram* started) {
    if (posix_spawnp(&child, program.c_str(), &actions, &attributes, argv.data(), environ) != 0) return false;
    *started = child;
    return true;
  });
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(outputEnds[1]);
  if (options.input) {
    close(inputEnds[0]);
    // Short enough for the pipe's buffer: written at once, before the output is read.
    if (started) writeAndClose(inputEnds[1], *options.input);
    else close(inputEnds[1]);
  }
  if (!started) {
    close(outputEnds[0]);
    return false;
  }
  output->clear();
  char buffer[4096];
  for (ssize_t count; (count = read(outputEnds[0], buffer, sizeof buffer)) != 0;) {
    if (count > 0) output->append(buffer, static_cast<size_t>(count));
    else if (errno != EINTR) break;
  }
  close(outputEnds[0]);
  // Waited for without reaping first, so that its id stays its own until it is forgotten.
  siginfo_t ended = {};
  while (waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  forgetProgram(child);
  int waited = 0;
  while (waitpid(child, &waited, 0) < 0 && errno == EINTR) {
  }
  *status = WIFEXITED(waited) ? WEXITSTATUS(waited) : 128 + (WIFSIGNALED(waited) ? WTERMSIG(waited) : 0);
  return true;
}

#endif

bool isProgramOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  const std::string folders = path;
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(kPathSeparator, start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = folders.substr(start, end - start);
    std::error_code error;
    if (!folder.empty() && std::filesystem::is_regular_file(pathOf(folder) / pathOf(program + kProgramSuffix), error)) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

} // namespace pqpack
