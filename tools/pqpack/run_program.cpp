#include "run_program.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "file_io.h"

#ifdef _WIN32
#include <windows.h>
#else
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

bool runProgram(const std::string& program, const std::vector<std::string>& arguments, int* status,
                std::string* output) {
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
  const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                      nullptr, &startup, &process);
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

bool runProgram(const std::string& program, const std::vector<std::string>& arguments, int* status,
                std::string* output) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
  std::vector<std::string> words = {program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (spawned != 0) {
    close(pipeEnds[0]);
    return false;
  }
  output->clear();
  char buffer[4096];
  for (ssize_t count; (count = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
    if (count > 0) output->append(buffer, static_cast<size_t>(count));
    else if (errno != EINTR) break;
  }
  close(pipeEnds[0]);
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
