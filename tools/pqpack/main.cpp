// pqpack: builds installers, inspects them, and runs the implode codec from the command line.
#include "commands.h"
#include "interruptions.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

// The arguments as UTF-8, from the wide command line: the ANSI one would turn every character
// outside the machine's code page into '?'. Output is UTF-8 too, in the console as elsewhere.
int main() {
  pqpack::cleanUpWhenInterrupted();
  SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  pqpack::Args arguments;
  for (int index = 1; wide != nullptr && index < count; ++index) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide[index], -1, nullptr, 0, nullptr, nullptr);
    std::string argument(length > 0 ? static_cast<size_t>(length) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide[index], -1, &argument[0], length, nullptr, nullptr);
    argument.resize(argument.size() - 1);
    arguments.push_back(argument);
  }
  LocalFree(wide);
  return pqpack::runCommandLine(arguments);
}
#else
int main(int argc, char** argv) {
  pqpack::cleanUpWhenInterrupted();
  return pqpack::runCommandLine(pqpack::Args(argv + 1, argv + argc));
}
#endif
