#include "decoder_results.h"

#include "compression/implode.h"

namespace pqpack {

const char* decoderResultText(uint32_t result) {
  switch (result) {
    case PQ_CMP_NO_ERROR: return "the end code was reached";
    case PQ_CMP_INVALID_DICTSIZE: return "the dictionary-size byte is not 4, 5 or 6";
    case PQ_CMP_INVALID_MODE: return "the literal-mode byte is not 0 or 1";
    case PQ_CMP_BAD_DATA: return "the stream has 4 bytes or fewer";
    case PQ_CMP_ABORT: return "the stream ended before its end code";
    default: return "an unknown result";
  }
}

} // namespace pqpack
