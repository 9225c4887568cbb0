#include "file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#include <unistd.h>

namespace pqpack {

namespace {

std::string quoted(const std::filesystem::path& path) { return "'" + textOf(path) + "'"; }

std::string systemReason() { return std::strerror(errno); }

std::FILE* openFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  // The wide call reaches every name, not only those of the ANSI code page.
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

} // namespace

std::filesystem::path pathOf(const std::string& utf8) { return std::filesystem::u8path(utf8); }

std::string textOf(const std::filesystem::path& path) { return path.u8string(); }

bool readWholeFile(const std::string& text, uint64_t maximumSize, std::vector<uint8_t>* bytes,
                   std::string* problem) {
  const std::filesystem::path path = pathOf(text);
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) {
    *problem = "cannot read " + quoted(path) + ": no such file";
    return false;
  }
  if (std::filesystem::is_directory(status)) {
    *problem = "cannot read " + quoted(path) + ": it is a directory";
    return false;
  }
  std::FILE* file = openFile(path, "rb");
  if (file == nullptr) {
    *problem = "cannot read " + quoted(path) + ": " + systemReason();
    return false;
  }
  // Read in pieces rather than trusting a size taken beforehand: pipes and growing files
  // report none or a wrong one.
  bytes->clear();
  bool ok = true;
  uint8_t piece[65536];
  for (;;) {
    const size_t count = std::fread(piece, 1, sizeof piece, file);
    if (count > 0) {
      if (bytes->size() + count > maximumSize) {
        *problem = quoted(path) + " is too large: an installer must stay below 2 GiB";
        ok = false;
        break;
      }
      bytes->insert(bytes->end(), piece, piece + count);
    }
    if (count < sizeof piece) {
      if (std::ferror(file)) {
        *problem = "cannot read " + quoted(path) + ": " + systemReason();
        ok = false;
      }
      break;
    }
  }
  std::fclose(file);
  if (!ok) bytes->clear();
  return ok;
}

InputFile::InputFile(const std::string& path) : file(openFile(pathOf(path), "rb")) {}

InputFile::~InputFile() {
  if (file != nullptr) std::fclose(file);
}

bool InputFile::readAt(uint64_t offset, void* buffer, size_t size) { return readUpTo(offset, buffer, size) == size; }

size_t InputFile::readUpTo(uint64_t offset, void* buffer, size_t size) {
  if (file == nullptr || fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
  return std::fread(buffer, 1, size, file);
}

bool InputFile::size(uint64_t* size) {
  if (file == nullptr || fseeko(file, 0, SEEK_END) != 0) return false;
  const off_t end = ftello(file);
  if (end < 0) return false;
  *size = static_cast<uint64_t>(end);
  return true;
}

bool isSameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(pathOf(a), pathOf(b), error) && !error;
}

bool checkOutputIsNoInput(const std::string& output, const std::vector<NamedInput>& inputs, std::string* problem) {
  for (const NamedInput& input : inputs) {
    if (isSameFile(output, input.path)) {
      *problem = "OUT '" + output + "' is the same file as " + input.role + " '" + input.path +
                 "', which would be replaced; write to another file";
      return false;
    }
  }
  return true;
}

AtomicOutput::AtomicOutput(const std::string& destinationPath, const std::string& stage)
    : destination(pathOf(destinationPath)) {
  const std::filesystem::path folder = destination.parent_path();
  const std::string hiddenName = "." + textOf(destination.filename()) + ".pqpack-" + std::to_string(getpid()) +
                                 (stage.empty() ? "" : "-" + stage) + ".tmp";
  temporary = folder.empty() ? pathOf(hiddenName) : folder / pathOf(hiddenName);
}

AtomicOutput::~AtomicOutput() {
  if (file != nullptr) std::fclose(file);
  if (!committed) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
  }
}

bool AtomicOutput::clearTemporary(std::string* problem) {
  if (destination.filename().empty()) {
    *problem = "cannot write " + quoted(destination) + ": it names a directory";
    return false;
  }
  std::error_code error;
  if (std::filesystem::is_directory(destination, error)) {
    *problem = "cannot write " + quoted(destination) + ": it is a directory";
    return false;
  }
  // A leftover of an interrupted run (or a link planted there) must not be written through.
  std::filesystem::remove(temporary, error);
  return true;
}

bool AtomicOutput::open(std::string* problem) {
  if (!clearTemporary(problem)) return false;
#ifdef _WIN32
  // The Windows C runtime has no exclusive-create mode; the removal above has to do.
  file = openFile(temporary, "wb");
#else
  file = openFile(temporary, "wbx");
#endif
  if (file == nullptr) {
    *problem = "cannot write " + quoted(destination) + ": " + systemReason();
    return false;
  }
  return true;
}

bool AtomicOutput::write(const void* data, size_t size, std::string* problem) {
  if (file == nullptr) {
    *problem = "cannot write " + quoted(destination) + ": not open";
    return false;
  }
  if (size > 0 && std::fwrite(data, 1, size, file) != size) {
    *problem = "cannot write " + quoted(destination) + ": " + systemReason();
    return false;
  }
  return true;
}

bool AtomicOutput::writeZeros(size_t count, std::string* problem) {
  static const uint8_t zeros[4096] = {};
  while (count > 0) {
    const size_t piece = count < sizeof zeros ? count : sizeof zeros;
    if (!write(zeros, piece, problem)) return false;
    count -= piece;
  }
  return true;
}

bool AtomicOutput::close(std::string* problem) {
  if (file == nullptr) return true;
  const bool flushed = std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  file = nullptr;
  if (!flushed || !closed) {
    *problem = "cannot write " + quoted(destination) + ": " + systemReason();
    return false;
  }
  return true;
}

bool AtomicOutput::commit(std::string* problem) {
  if (!close(problem)) return false;
  std::error_code error;
  std::filesystem::rename(temporary, destination, error);
  if (error) {
    *problem = "cannot write " + quoted(destination) + ": " + error.message();
    return false;
  }
  committed = true;
  return true;
}

bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* problem) {
  AtomicOutput output(path);
  return output.open(problem) && output.write(bytes, problem) && output.commit(problem);
}

} // namespace pqpack
