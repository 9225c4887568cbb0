// LoadLibraryA of the compression library: any existing file loads, and its exports are the
// in-process codec, so the installer's binding runs on the host exactly as against the DLL.
#include <system_error>

#include "compression/implode.h"
#include "platform/sim/sim_state.h"

namespace pq {

namespace {

class SimLibrary : public OsLibrary {
public:
  SimLibrary(SimOs& os, std::string path, const std::set<std::string>& omitted)
      : os(os), path(std::move(path)), omitted(omitted) {
    ++os.libraryLoads;
  }
  ~SimLibrary() override {
    os.logCall("freeLibrary", path);
    ++os.libraryFrees;
  }

  void* symbol(const char* name) override {
    if (os.enterCall("symbol", name)) return nullptr;
    const std::string wanted = name;
    void* address = nullptr;
    // GetProcAddress matches export names exactly, case included.
    if (wanted == "_explode") address = reinterpret_cast<void*>(&pq_explode);
    if (wanted == "_implode") address = reinterpret_cast<void*>(&pq_implode);
    if (wanted == "_crc32") address = reinterpret_cast<void*>(&pq_crc32);
    if (address == nullptr || omitted.count(wanted) != 0) {
      os.setLastError(kWinErrorProcNotFound);
      return nullptr;
    }
    return address;
  }

private:
  SimOs& os;
  std::string path;
  std::set<std::string> omitted;
};

} // namespace

std::unique_ptr<OsLibrary> SimOs::loadLibrary(const std::string& path) {
  if (enterCall("loadLibrary", path)) return nullptr;
  if (libraryLoadError != 0) {
    setLastError(libraryLoadError);
    return nullptr;
  }
  const sim::ResolvedPath resolved = internal->resolve(path);
  std::error_code error;
  if (!resolved.exists() || resolved.components.empty() || !std::filesystem::is_regular_file(resolved.host, error)) {
    setLastError(kWinErrorModNotFound);
    return nullptr;
  }
  return std::make_unique<SimLibrary>(*this, path, omittedExports);
}

} // namespace pq
