// impborl.dll's own start, in place of the C runtime's: the library is stored in every
// installer (three times in a small one), so it carries nothing but the codec. On load it
// builds the CRC-32 tables that the codec's own copy of _crc32 keeps as 8 KB of constants.
#include <windows.h>

#include "compression/crc32_slices.h"
#include "compression/implode.h"

namespace {

pq::crc32::Tables crcTables;  // filled once, under the loader's lock, before any call

} // namespace

extern "C" BOOL WINAPI impborlEntry(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) pq::crc32::fillTables(crcTables);
  return TRUE;
}

// _crc32: the same contract as pq_crc32.
extern "C" uint32_t PQ_CDECL impborl_crc32(char* buffer, uint32_t* size, uint32_t* crc) {
  return pq::crc32::update(crcTables, *crc, reinterpret_cast<const uint8_t*>(buffer), *size);
}
