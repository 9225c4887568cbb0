// The encoder's entry point with a choice of level. The library's pq_implode (exported as
// _implode) has no argument for one and compresses at ImplodeLevel::Fast; the memory API
// and the builder come through here to choose.
#pragma once

#include "compression/implode.h"

namespace pq {

uint32_t implodeWithLevel(PqReadFn read, PqWriteFn write, char* workArea, void* param,
                          uint32_t* literalMode, uint32_t* dictionarySize, ImplodeLevel level);

} // namespace pq
