// pq_e2e_implode.exe IN OUT: compresses a file with the project's implode encoder (binary
// literals, 4096-byte dictionary), as the builder stores compressed entries, so that the
// end-to-end tests can assemble installers without the host tools.
#include <cstdio>
#include <vector>

#include "compression/implode.h"

namespace {

bool readAll(const char* path, std::vector<uint8_t>* bytes) {
  FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return false;
  uint8_t buffer[65536];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes->insert(bytes->end(), buffer, buffer + count);
  const bool ok = std::ferror(in) == 0;
  std::fclose(in);
  return ok;
}

bool writeAll(const char* path, const std::vector<uint8_t>& bytes) {
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return false;
  const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && wrote;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pq_e2e_implode IN OUT\n");
    return 2;
  }
  std::vector<uint8_t> input;
  if (!readAll(argv[1], &input)) {
    std::fprintf(stderr, "pq_e2e_implode: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<uint8_t> output;
  if (pq::implodeBuffer(input.data(), input.size(), pq::ImplodeOptions{}, &output) != 0 || !writeAll(argv[2], output)) {
    std::fprintf(stderr, "pq_e2e_implode: cannot compress %s into %s\n", argv[1], argv[2]);
    return 1;
  }
  return 0;
}
