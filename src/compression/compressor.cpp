// The binding to impborl.dll. The library is only ever used to expand: one binding per
// compressed entry loads it, feeds it one entry's compressed bytes from memory and lets it
// write the expanded bytes straight into a new file (extraction's partial file, which it then
// puts in place), then unloads it.
#include "compression/compressor.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "errors/logFile.h"
#include "errors/messages.h"
#include "platform/os.h"
#include "platform/win_path.h"

char explodeWorkArea[PQ_EXPLODE_WORK_SIZE];
bool showCompressionWarning = true;

namespace {

constexpr char kLibraryLoadWarning[] =
    "System experiencing problem using compression library. Application will attempt to continue "
    "with compression disabled.";
constexpr char kExpandErrorPrefix[] = "Zip Error: Problem expanding file in memory.\r\n\r\n";

// A failed create or flush of the expanded file, shown here. It must never read as success,
// even if the system kept no error number.
TResult fileFailure() {
  const TResult code = failureCode(pq::os().lastError());
  showErrorDialog(kExpandErrorPrefix + systemErrorText(code));
  return code;
}

std::string libraryPath() {
  return pq::includeTrailingBackslash(pq::os().windowsDirectory(pq::kDirectoryBufferChars)) + kLibraryFileName;
}

bool libraryFileExists(const std::string& path) {
  pq::FoundFile found;
  if (!pq::os().findFirstFile(path, &found)) return false;
  return (found.attributes & pq::kFileAttributeDirectory) == 0;
}

template <typename Proc>
Proc lookUp(pq::OsLibrary& library, const char* name) {
  return reinterpret_cast<Proc>(library.symbol(name));
}

} // namespace

// The second copy of an entry's compressed bytes, read by the library through readCallback.
struct TCompressor::MemoryStream {
  std::vector<uint8_t> bytes;
  size_t position = 0;

  uint32_t read(char* buffer, uint32_t wanted) {
    const size_t available = bytes.size() - position;
    const uint32_t count = static_cast<uint32_t>(std::min<size_t>(wanted, available));
    if (count > 0) std::memcpy(buffer, bytes.data() + position, count);
    position += count;
    return count;
  }
};

TCompressor::TCompressor() {
  LogOperation trace("TCompressor.Create", "");
  isLoaded = false;
  const std::string path = libraryPath();
  logLine("compression library " + path);
  // No library file is the ordinary case of an archive without compressed entries: silent.
  if (!libraryFileExists(path)) return;

  libraryHandle = pq::os().loadLibrary(path);
  if (!libraryHandle) {
    const TResult code = failureCode(pq::os().lastError());
    if (showCompressionWarning) {
      showCompressionWarning = false;
      showSystemError(code, kLibraryLoadWarning);
    }
    return;
  }

  implodeProc = lookUp<TImplodeProc>(*libraryHandle, "_implode");
  explodeProc = lookUp<TExplodeProc>(*libraryHandle, "_explode");
  crc32Proc = lookUp<TCrc32Proc>(*libraryHandle, "_crc32");
  if (implodeProc != nullptr && explodeProc != nullptr && crc32Proc != nullptr) {
    isLoaded = true;
    return;
  }
  // A library without the full contract is not used at all, and not kept in memory either.
  libraryHandle.reset();
  implodeProc = nullptr;
  explodeProc = nullptr;
  crc32Proc = nullptr;
}

TCompressor::~TCompressor() {
  if (isLoaded) {
    libraryHandle.reset();
    isLoaded = false;
  }
}

TResult TCompressor::expandToFile(const std::string& path, const uint8_t* buffer, uint32_t size) {
  TResult result = kErr_None;
  LogOperation trace("expandToFile", path, &result);
  isCompressing = 0;
  crcWritten = 0xFFFFFFFFu;

  std::unique_ptr<MemoryStream> input(new (std::nothrow) MemoryStream);
  if (!input) return result = kErr_NoBuffer;
  try {
    input->bytes.assign(buffer, buffer + size);
  } catch (const std::bad_alloc&) {
    // No system error number belongs to this; extraction's summary reports the code.
    return result = kErr_NoBuffer;
  }

  // Created new: a file that is already there, whoever put it there, is never opened or
  // written through.
  std::unique_ptr<pq::OsFile> output =
      pq::os().openFile(path, pq::FileAccess::ReadWrite, pq::FileShare::None, pq::FileCreation::CreateNew);
  if (!output) return result = fileFailure();

  if (isLoaded) {
    logLine("_explode " + path);
    inputStream = input.get();
    outputStream = output.get();
    // The result is deliberately not examined: extraction's size check judges the outcome.
    explodeProc(&TCompressor::readCallback, &TCompressor::writeCallback, explodeWorkArea, this);
    inputStream = nullptr;
    outputStream = nullptr;
  }

  input.reset();
  // What the library wrote is on the disk before the file can be put in place; a file that
  // cannot get there is as good as one that could not be made.
  if (!output->flush()) result = fileFailure();
  output->close();
  output.reset();

  crcWritten = ~crcWritten;
  return result;
}

uint32_t PQ_CDECL TCompressor::readCallback(char* buffer, uint32_t* size, void* param) {
  // The library is C: nothing may unwind through it, so every failure becomes "no more input".
  try {
    auto* self = static_cast<TCompressor*>(param);
    if (self == nullptr || self->inputStream == nullptr || size == nullptr || buffer == nullptr) return 0;
    uint32_t count = self->inputStream->read(buffer, *size);
    if (count > 0 && self->isCompressing != 0 && self->crc32Proc != nullptr) {
      self->crcRead = self->crc32Proc(buffer, &count, &self->crcRead);
    }
    return count;
  } catch (...) {
    return 0;
  }
}

void PQ_CDECL TCompressor::writeCallback(char* buffer, uint32_t* size, void* param) {
  try {
    auto* self = static_cast<TCompressor*>(param);
    if (self == nullptr || self->outputStream == nullptr || size == nullptr) return;
    if (*size == 0) return;
    uint32_t written = 0;
    // A short or failed write (a full disk) is left to extraction's size check.
    self->outputStream->write(buffer, *size, &written);
    if (self->isCompressing == 0 && self->crc32Proc != nullptr) {
      self->crcWritten = self->crc32Proc(buffer, size, &self->crcWritten);
    }
  } catch (...) {
  }
}

void resetCompressionState() {
  showCompressionWarning = true;
  std::memset(explodeWorkArea, 0, sizeof explodeWorkArea);
}
