// The Windows build of pqpack: no OpenSSL to link, so no signature is taken as checked.
#include "authenticode.h"

namespace pqpack {

void checkAuthenticode(const std::string&, const std::vector<FileRange>&, const std::vector<uint8_t>&,
                       SignatureReport* report) {
  report->problems.push_back({FindingCode::SignatureUnchecked, kNoEntry,
                              "this pqpack cannot check signatures (it is built without OpenSSL): "
                              "verify the installer with pqpack on Linux"});
}

std::string certificateSubject(const std::string&) { return ""; }

} // namespace pqpack
