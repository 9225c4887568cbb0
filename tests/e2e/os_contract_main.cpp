// pq_os_contract.exe: the seam's contract checks against the Win32 backend, under Wine.
// Usage: pq_os_contract SCRATCH-DIR (a Windows path ending in '\', existing and empty).
#include <cstdio>
#include <string>
#include <vector>

#include "os_contract.h"
#include "platform/win32/win32_os.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pq_os_contract SCRATCH-DIR\n");
    return 2;
  }
  pq::win32::Win32Os backend;
  pq::setOs(&backend);
  const std::vector<std::string> failures = pqtest::runOsContract(backend, argv[1]);
  pq::setOs(nullptr);
  for (const std::string& failure : failures) std::printf("FAILED: %s\n", failure.c_str());
  std::printf("%u contract failure(s)\n", static_cast<unsigned>(failures.size()));
  return failures.empty() ? 0 : 1;
}
