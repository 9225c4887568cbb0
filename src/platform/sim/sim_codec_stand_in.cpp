// TEMPORARY stand-in for the implode encoder, which is still being written: the simulated
// compression library must export _implode for the binding to accept it. It lives in its own
// library linked after pq_codec, so the real pq_implode is taken as soon as pq_codec has one.
// Remove this file (and its library in CMakeLists.txt) once the encoder is on main.
#include "compression/implode.h"

extern "C" __attribute__((weak)) uint32_t PQ_CDECL pq_implode(PqReadFn, PqWriteFn, char*, void*, uint32_t*,
                                                                uint32_t*) {
  return PQ_CMP_ABORT;
}
