// pqpack explode and pqpack implode: one raw implode stream to or from a file.
//
// Exit status of explode is the decoder's result (0 to 4), so the errors of the command
// itself use values outside that range: 64 bad arguments, 66 unreadable input, 73 output
// that cannot be written.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "commands.h"
#include "compression/implode.h"

namespace {

constexpr int kExitUsage = 64;
constexpr int kExitNoInput = 66;
constexpr int kExitCannotCreate = 73;

const char kExplodeHelp[] =
    "usage: pqpack explode IN OUT\n"
    "\n"
    "Expands the raw implode stream in IN into OUT. OUT receives everything the decoder\n"
    "delivered, also when the stream is cut short. The exit status is the decoder's result:\n"
    "  0 the end code was reached\n"
    "  1 the dictionary-size byte is not 4, 5 or 6\n"
    "  2 the literal-mode byte is not 0 or 1\n"
    "  3 the stream has 4 bytes or fewer\n"
    "  4 the stream ended before its end code\n"
    "and 64 for bad arguments, 66 for an unreadable IN, 73 when OUT cannot be written.\n";

const char kImplodeHelp[] =
    "usage: pqpack implode [--ascii] [--dict 1024|2048|4096] [--level fast|best] IN OUT\n"
    "\n"
    "Compresses IN into OUT as one raw implode stream: a two-byte header, then the bit stream\n"
    "ending with the end code.\n"
    "  --ascii        code literals with the fixed text code (default: binary literals)\n"
    "  --dict N       dictionary size in bytes: 1024, 2048 or 4096 (default 4096)\n"
    "  --level L      fast (lazy matching, default) or best (optimal parse, smallest output)\n"
    "Exit status: 0 done, 64 bad arguments, 66 unreadable IN, 73 when OUT cannot be written.\n";

bool isHelp(const Args& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

int usageError(const char* command, const std::string& message, const char* help) {
  std::fprintf(stderr, "pqpack %s: %s\n\n%s", command, message.c_str(), help);
  return kExitUsage;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = errno != 0 ? std::strerror(errno) : "cannot open";
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (file.bad()) {
    *error = "read error";
    return false;
  }
  return true;
}

bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
  errno = 0;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) {
    *error = errno != 0 ? std::strerror(errno) : "cannot create";
    return false;
  }
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    *error = "write error";
    return false;
  }
  return true;
}

} // namespace

int commandExplode(const Args& args) {
  if (isHelp(args)) {
    std::fputs(kExplodeHelp, stdout);
    return 0;
  }
  for (const std::string& arg : args) {
    if (arg.size() > 1 && arg[0] == '-') return usageError("explode", "unknown option '" + arg + "'", kExplodeHelp);
  }
  if (args.size() != 2) return usageError("explode", "expects IN and OUT", kExplodeHelp);

  std::vector<uint8_t> stream;
  std::string error;
  if (!readWholeFile(args[0], &stream, &error)) {
    std::fprintf(stderr, "pqpack explode: cannot read '%s': %s\n", args[0].c_str(), error.c_str());
    return kExitNoInput;
  }
  std::vector<uint8_t> output;
  const uint32_t result = pq::explodeBuffer(stream.data(), stream.size(), &output);
  if (!writeWholeFile(args[1], output, &error)) {
    std::fprintf(stderr, "pqpack explode: cannot write '%s': %s\n", args[1].c_str(), error.c_str());
    return kExitCannotCreate;
  }
  static const char* const kResultTexts[] = {
      nullptr, "the dictionary-size byte is not 4, 5 or 6", "the literal-mode byte is not 0 or 1",
      "the stream has 4 bytes or fewer", "the stream ended before its end code"};
  if (result != PQ_CMP_NO_ERROR) {
    std::fprintf(stderr, "pqpack explode: result %u: %s (%zu bytes written)\n", result,
                 result < 5 ? kResultTexts[result] : "unknown", output.size());
  }
  return static_cast<int>(result);
}

int commandImplode(const Args& args) {
  if (isHelp(args)) {
    std::fputs(kImplodeHelp, stdout);
    return 0;
  }
  pq::ImplodeOptions options;
  std::vector<std::string> paths;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--ascii") {
      options.literalMode = PQ_CMP_ASCII;
    } else if (arg == "--dict") {
      if (++i == args.size()) return usageError("implode", "--dict needs a size", kImplodeHelp);
      if (args[i] == "1024" || args[i] == "2048" || args[i] == "4096") {
        options.dictionarySize = static_cast<uint32_t>(std::stoul(args[i]));
      } else {
        return usageError("implode", "--dict must be 1024, 2048 or 4096, not '" + args[i] + "'", kImplodeHelp);
      }
    } else if (arg == "--level") {
      if (++i == args.size()) return usageError("implode", "--level needs fast or best", kImplodeHelp);
      if (args[i] == "fast") {
        options.level = pq::ImplodeLevel::Fast;
      } else if (args[i] == "best") {
        options.level = pq::ImplodeLevel::Best;
      } else {
        return usageError("implode", "--level must be fast or best, not '" + args[i] + "'", kImplodeHelp);
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError("implode", "unknown option '" + arg + "'", kImplodeHelp);
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.size() != 2) return usageError("implode", "expects IN and OUT", kImplodeHelp);

  std::vector<uint8_t> input;
  std::string error;
  if (!readWholeFile(paths[0], &input, &error)) {
    std::fprintf(stderr, "pqpack implode: cannot read '%s': %s\n", paths[0].c_str(), error.c_str());
    return kExitNoInput;
  }
  std::vector<uint8_t> stream;
  if (pq::implodeBuffer(input.data(), input.size(), options, &stream) != PQ_CMP_NO_ERROR) {
    std::fprintf(stderr, "pqpack implode: the codec refused the options\n");
    return kExitUsage;
  }
  if (!writeWholeFile(paths[1], stream, &error)) {
    std::fprintf(stderr, "pqpack implode: cannot write '%s': %s\n", paths[1].c_str(), error.c_str());
    return kExitCannotCreate;
  }
  return 0;
}
