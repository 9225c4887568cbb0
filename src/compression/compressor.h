// TCompressor binds the installer to the compression library impborl.dll in the Windows
// directory: one object per compressed entry, which loads the library, expands one buffer
// into a file, and unloads it again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "compression/implode.h"
#include "errors/result_codes.h"

namespace pq {
class OsFile;
class OsLibrary;
}

// The library's file name in the Windows directory, where entry 1 is extracted to.
constexpr char kLibraryFileName[] = "impborl.dll";

typedef uint32_t(PQ_CDECL* TImplodeProc)(PqReadFn, PqWriteFn, char*, void*, uint32_t*, uint32_t*);
typedef uint32_t(PQ_CDECL* TExplodeProc)(PqReadFn, PqWriteFn, char*, void*);
typedef uint32_t(PQ_CDECL* TCrc32Proc)(char*, uint32_t*, uint32_t*);

// The one work area every expansion hands to the library (never cleared between them).
extern char explodeWorkArea[PQ_EXPLODE_WORK_SIZE];
// Set at program start; cleared the first time the library-load warning is shown.
extern bool showCompressionWarning;

class TCompressor {
public:
  TCompressor();
  ~TCompressor();
  TCompressor(const TCompressor&) = delete;
  TCompressor& operator=(const TCompressor&) = delete;

  // Expands `size` compressed bytes at `buffer` into a new file at `path`, which must not exist
  // yet, and flushes it to the disk. 0; kErr_NoBuffer when there is no memory to copy the
  // bytes; or, when the file cannot be created or flushed, the system error number
  // (kErr_Unspecified if the system kept none), shown here.
  TResult expandToFile(const std::string& path, const uint8_t* buffer, uint32_t size);

  static uint32_t PQ_CDECL readCallback(char* buffer, uint32_t* size, void* param);
  static void PQ_CDECL writeCallback(char* buffer, uint32_t* size, void* param);

  bool loaded() const { return isLoaded; }
  uint32_t crcWrittenValue() const { return crcWritten; }

private:
  struct MemoryStream;

  TImplodeProc implodeProc = nullptr;
  TExplodeProc explodeProc = nullptr;
  TCrc32Proc crc32Proc = nullptr;
  pq::OsFile* outputStream = nullptr;   // owned by expandToFile while it runs
  MemoryStream* inputStream = nullptr;  // owned by expandToFile while it runs
  uint32_t crcRead = 0;
  uint32_t crcWritten = 0;
  uint8_t isCompressing = 0;
  bool isLoaded = false;
  std::unique_ptr<pq::OsLibrary> libraryHandle;
};

// Resets the process-wide binding state, for tests.
void resetCompressionState();
