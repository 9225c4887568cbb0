// What each result of the implode decoder means, in the words every pqpack message and help
// text uses.
#pragma once

#include <cstdint>

namespace pqpack {

// The decoder's results run from 0 (PQ_CMP_NO_ERROR) to this one (PQ_CMP_ABORT).
constexpr uint32_t kLastDecoderResult = 4;

// "the stream ended before its end code" and the like; "an unknown result" beyond the last.
const char* decoderResultText(uint32_t result);

} // namespace pqpack
