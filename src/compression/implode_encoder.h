// The encoder's entry points with a choice of level. The library's pq_implode (exported as
// _implode) has no argument for one and compresses at ImplodeLevel::Fast; the memory API
// and the builder come through here to choose.
#pragma once

#include "compression/implode.h"

namespace pq {

uint32_t implodeWithLevel(PqReadFn read, PqWriteFn write, char* workArea, void* param,
                          uint32_t* literalMode, uint32_t* dictionarySize, ImplodeLevel level);

// 0, or the result code that refuses a literal mode or dictionary size (1 or 2).
uint32_t checkImplodeArguments(uint32_t literalMode, uint32_t dictionarySize);

// The low `count` (0 to 7) bits of `value`, in stream order from the lowest.
struct ImplodeBits {
  uint32_t value = 0;
  unsigned count = 0;
};

// Pieces of one input that start at multiples of this many bytes can be encoded apart.
constexpr uint32_t kImplodePieceAlignment = 32768;

// One piece of a stream. Its bytes come through the read callback; the caller says which
// bytes precede it, and the encoder leaves the piece's last bits that fill no whole byte.
struct ImplodePiece {
  // The bytes just before the piece (only the last 4096 count: no copy reaches further).
  const uint8_t* history = nullptr;
  uint32_t historySize = 0;
  bool first = false; // the stream's first piece: it carries the header
  bool last = false;  // the stream's last piece: it carries the end code
  // Out: the bits that follow the piece's whole bytes.
  ImplodeBits tail;
};

// Encodes one piece, delivering its whole bytes through `write`, and returns 0 or the code
// that refuses the arguments, as implodeWithLevel does. When every piece but the last is a
// multiple of kImplodePieceAlignment long, their bits laid end to end are exactly the
// stream that implodeWithLevel writes for the whole input, unless that input is empty.
uint32_t implodePiece(PqReadFn read, PqWriteFn write, char* workArea, void* param, uint32_t literalMode,
                      uint32_t dictionarySize, ImplodeLevel level, ImplodePiece* piece);

} // namespace pq
