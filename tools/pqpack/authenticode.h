// The Authenticode signature in a certificate table, checked in-process with OpenSSL's library
// (authenticode.cpp). The Windows build of pqpack has no OpenSSL to link, and says so instead
// (authenticode_unavailable.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "signature.h"

namespace pqpack {

// A range of the file that the file's digest covers: `size` bytes from `offset`.
struct FileRange {
  uint64_t offset;
  uint64_t size;
};

// Checks `signature` (the certificate after the table's 8-byte header, up to the length that
// header gives) as the PKCS#7 SignedData of an Authenticode signature of the file at `path`,
// whose digest covers the `covered` ranges, and adds to `report` the signer and every way the
// signature does not hold or its chain is not trusted.
void checkAuthenticode(const std::string& path, const std::vector<FileRange>& covered,
                       const std::vector<uint8_t>& signature, SignatureReport* report);

// The subject ("/CN=.../O=...") of the first certificate in the PEM file at `path`, the one
// that signs; empty when it cannot be read, or this pqpack has no OpenSSL.
std::string certificateSubject(const std::string& path);

} // namespace pqpack
