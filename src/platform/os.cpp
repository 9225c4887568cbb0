#include "platform/os.h"

#include <cstdlib>

namespace pq {

namespace {
Os* g_backend = nullptr;
}

Os& os() {
  // A missing backend is a programming error of the program's entry or of a test fixture.
  if (g_backend == nullptr) std::abort();
  return *g_backend;
}

Os* setOs(Os* backend) {
  Os* previous = g_backend;
  g_backend = backend;
  return previous;
}

} // namespace pq
