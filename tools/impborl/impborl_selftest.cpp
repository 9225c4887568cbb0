// Loads impborl.dll the way the installer does (LoadLibraryA, GetProcAddress by name) and
// drives its three entry points through the C calling convention: the CRC of "abc" and of
// every length and alignment against the codec's own, the decoding of a known stream, and a
// round trip through _implode and _explode. Exit status 0 when all hold; run under Wine by
// CTest.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "compression/implode.h"

namespace {

typedef uint32_t(__cdecl* ImplodeProc)(PqReadFn, PqWriteFn, char*, void*, uint32_t*, uint32_t*);
typedef uint32_t(__cdecl* ExplodeProc)(PqReadFn, PqWriteFn, char*, void*);
typedef uint32_t(__cdecl* Crc32Proc)(char*, uint32_t*, uint32_t*);

struct Streams {
  const std::vector<uint8_t>* input;
  size_t position;
  std::vector<uint8_t> output;
};

uint32_t __cdecl readInput(char* buffer, uint32_t* size, void* param) {
  auto* streams = static_cast<Streams*>(param);
  size_t count = streams->input->size() - streams->position;
  if (count > *size) count = *size;
  std::memcpy(buffer, streams->input->data() + streams->position, count);
  streams->position += count;
  return static_cast<uint32_t>(count);
}

void __cdecl writeOutput(char* buffer, uint32_t* size, void* param) {
  auto* streams = static_cast<Streams*>(param);
  streams->output.insert(streams->output.end(), buffer, buffer + *size);
}

int fail(const char* what) {
  std::printf("impborl self-test: %s\n", what);
  return 1;
}

} // namespace

int main() {
  HMODULE library = LoadLibraryA("impborl.dll");
  if (library == nullptr) return fail("LoadLibraryA failed");
  auto implode = reinterpret_cast<ImplodeProc>(GetProcAddress(library, "_implode"));
  auto explode = reinterpret_cast<ExplodeProc>(GetProcAddress(library, "_explode"));
  auto crc32 = reinterpret_cast<Crc32Proc>(GetProcAddress(library, "_crc32"));
  if (implode == nullptr || explode == nullptr || crc32 == nullptr) return fail("an entry point is missing");

  char abc[] = "abc";
  uint32_t three = 3;
  uint32_t crc = 0xFFFFFFFFu;
  if (~crc32(abc, &three, &crc) != 0x352441C2u) return fail("_crc32 of \"abc\"");

  // The library builds its CRC tables when it is loaded: they must be the codec's.
  std::vector<uint8_t> text(300);
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>(i * 131 + 7);
  for (uint32_t start = 0; start < 8; ++start) {
    for (uint32_t length = 0; start + length <= text.size(); length += 13) {
      uint32_t size = length;
      uint32_t running = 0xFFFFFFFFu;
      if (~crc32(reinterpret_cast<char*>(text.data() + start), &size, &running) !=
          pq::crc32Of(text.data() + start, length)) {
        return fail("_crc32 against the codec's CRC-32");
      }
    }
  }

  const std::vector<uint8_t> known = {0x00, 0x06, 0xC2, 0x88, 0x19, 0x0B, 0xF8, 0x07};
  std::vector<char> explodeArea(PQ_EXPLODE_WORK_SIZE);
  Streams decoded{&known, 0, {}};
  if (explode(readInput, writeOutput, explodeArea.data(), &decoded) != PQ_CMP_NO_ERROR ||
      decoded.output != std::vector<uint8_t>{'a', 'b', 'c'}) {
    return fail("_explode of the three-literal stream");
  }

  std::vector<uint8_t> input;
  for (int i = 0; i < 100000; ++i) input.push_back(static_cast<uint8_t>((i * i) % 251 + (i / 1000)));
  std::vector<char> implodeArea(PQ_IMPLODE_WORK_SIZE);
  Streams compressed{&input, 0, {}};
  uint32_t literalMode = PQ_CMP_BINARY, dictionarySize = 4096;
  if (implode(readInput, writeOutput, implodeArea.data(), &compressed, &literalMode, &dictionarySize) !=
      PQ_CMP_NO_ERROR) {
    return fail("_implode");
  }
  Streams expanded{&compressed.output, 0, {}};
  if (explode(readInput, writeOutput, explodeArea.data(), &expanded) != PQ_CMP_NO_ERROR || expanded.output != input) {
    return fail("round trip through _implode and _explode");
  }
  FreeLibrary(library);
  std::printf("impborl self-test: %zu bytes to %zu and back\n", input.size(), compressed.output.size());
  return 0;
}
