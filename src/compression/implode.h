// The implode codec: a two-byte header (literal mode, dictionary-size byte) and a bit stream
// of literals and length/distance pairs under fixed prefix codes, ending with an end code.
//
// The callback API is the compression library's contract, byte for byte; the same functions
// are exported from impborl.dll as _implode, _explode and _crc32. The stream and memory APIs
// on top are for the builder, the tools and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(_WIN32) && !defined(_WIN64)
#define PQ_CDECL __cdecl
#else
#define PQ_CDECL
#endif

extern "C" {

// Reads up to *size bytes into buffer; returns the count, 0 at the end of the input.
typedef uint32_t(PQ_CDECL* PqReadFn)(char* buffer, uint32_t* size, void* param);
// Consumes *size bytes of output.
typedef void(PQ_CDECL* PqWriteFn)(char* buffer, uint32_t* size, void* param);

// The caller-owned work areas; the codec keeps all of its state there and allocates nothing.
enum { PQ_EXPLODE_WORK_SIZE = 12596 };
// The encoder's area holds its input window, match indexes and the optimal parse's arrays;
// implode_encoder.cpp checks that they fit.
enum { PQ_IMPLODE_WORK_SIZE = 360448 };

// Result codes of both directions.
enum {
  PQ_CMP_NO_ERROR = 0,
  PQ_CMP_INVALID_DICTSIZE = 1, // dictionary-size byte (or argument) not 4/5/6 (1024/2048/4096)
  PQ_CMP_INVALID_MODE = 2,     // literal mode not 0 or 1
  PQ_CMP_BAD_DATA = 3,         // the first read supplied 4 bytes or fewer
  PQ_CMP_ABORT = 4             // the input ran out before the end code
};

enum { PQ_CMP_BINARY = 0, PQ_CMP_ASCII = 1 };

uint32_t PQ_CDECL pq_explode(PqReadFn read, PqWriteFn write, char* workArea, void* param);
uint32_t PQ_CDECL pq_implode(PqReadFn read, PqWriteFn write, char* workArea, void* param,
                             uint32_t* literalMode, uint32_t* dictionarySize);
// Updates a CRC-32 (reflected polynomial 0xEDB88320) over *size bytes from *crc; the value
// at crc is read, not written. Start at 0xFFFFFFFF and complement at the end.
uint32_t PQ_CDECL pq_crc32(char* buffer, uint32_t* size, uint32_t* crc);

} // extern "C"

namespace pq {

enum class ImplodeLevel { Fast, Best };

struct ImplodeOptions {
  uint32_t literalMode = PQ_CMP_BINARY;
  uint32_t dictionarySize = 4096;
  ImplodeLevel level = ImplodeLevel::Fast;
  // Threads for implodeStream and implodeBuffer, 0 for every core. The stream is the same
  // whatever the count.
  unsigned threads = 0;
};

// The codec between callbacks, with work areas of its own (impl. implode_stream.cpp).
// implodeStream: the stream of everything `read` gives, delivered through `write` (both get
// `param`), on options.threads threads. However long the input, it holds one batch of it at
// a time (a few MB per thread, see implode_parallel.h). Returns 0, or 1/2 for a bad
// dictionary size or literal mode.
uint32_t implodeStream(PqReadFn read, PqWriteFn write, void* param, const ImplodeOptions& options);
// explodeStream: pq_explode with a work area of its own; returns the decoder's result.
uint32_t explodeStream(PqReadFn read, PqWriteFn write, void* param);

// Memory-to-memory wrappers over the same callback codec.
// explodeBuffer: returns the decoder's result; *output holds everything it delivered.
uint32_t explodeBuffer(const uint8_t* input, size_t size, std::vector<uint8_t>* output);
// implodeBuffer: returns 0, or 1/2 for a bad dictionary size or literal mode.
uint32_t implodeBuffer(const uint8_t* input, size_t size, const ImplodeOptions& options,
                       std::vector<uint8_t>* output);
// The standard CRC-32 of a buffer (initial 0xFFFFFFFF, complemented).
uint32_t crc32Of(const uint8_t* data, size_t size);
// The same taken piece by piece: start from 0xFFFFFFFF, update with each piece in order, and
// complement the result.
uint32_t crc32Update(uint32_t running, const uint8_t* data, size_t size);

} // namespace pq
