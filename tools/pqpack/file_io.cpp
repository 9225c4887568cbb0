#include "file_io.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <system_error>

#include <unistd.h>

#include "installer_image.h"
#include "interruptions.h"

namespace pqpack {

namespace {

std::string quoted(const std::filesystem::path& path) { return "'" + textOf(path) + "'"; }

std::string systemReason() { return std::strerror(errno); }

// Said of a file over `maximumSize` bytes: the installer's limit, or a smaller one of the file's
// own (a key, a password, the compression library).
std::string tooLarge(const std::filesystem::path& path, uint64_t maximumSize) {
  if (maximumSize >= kMaximumInstallerSize) return quoted(path) + " is too large: an installer must stay below 2 GiB";
  return quoted(path) + " is too large: more than " + std::to_string(maximumSize) + " bytes";
}

// Reading and writing go through stdio buffers of this size: the codec's callbacks move a
// few KB at a time.
constexpr size_t kStdioBuffer = size_t{1} << 18;

// Offsets of 64 bits on every platform; the Windows C runtime's fseeko takes 32.
bool seekTo(std::FILE* file, uint64_t offset, int origin = SEEK_SET) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(offset), origin) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

bool sizeOf(std::FILE* file, uint64_t* size) {
  if (!seekTo(file, 0, SEEK_END)) return false;
#ifdef _WIN32
  const __int64 end = _ftelli64(file);
#else
  const off_t end = ftello(file);
#endif
  if (end < 0) return false;
  *size = static_cast<uint64_t>(end);
  return true;
}

// False, with `problem` set, when `path` names nothing or a directory.
bool readable(const std::filesystem::path& path, std::string* problem) {
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
  return true;
}

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

InputFile::InputFile(const std::string& path) : file(openFile(pathOf(path), "rb")) {}

InputFile::~InputFile() {
  if (file != nullptr) std::fclose(file);
}

bool InputFile::readAt(uint64_t offset, void* buffer, size_t size) { return readUpTo(offset, buffer, size) == size; }

size_t InputFile::readUpTo(uint64_t offset, void* buffer, size_t size) {
  if (file == nullptr || !seekTo(file, offset)) return 0;
  return std::fread(buffer, 1, size, file);
}

bool InputFile::size(uint64_t* size) { return file != nullptr && sizeOf(file, size); }

bool inputFileSize(const std::string& text, uint64_t maximumSize, uint64_t* size, std::string* problem) {
  const std::filesystem::path path = pathOf(text);
  if (!readable(path, problem)) return false;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    *problem = "cannot read " + quoted(path) + ": it is not a regular file";
    return false;
  }
  std::FILE* file = openFile(path, "rb");
  if (file == nullptr) {
    *problem = "cannot read " + quoted(path) + ": " + systemReason();
    return false;
  }
  const bool known = sizeOf(file, size);
  std::fclose(file);
  if (!known) {
    *problem = "cannot read " + quoted(path) + ": cannot tell its size";
    return false;
  }
  if (*size > maximumSize) {
    *problem = tooLarge(path, maximumSize);
    return false;
  }
  return true;
}

FileSource::FileSource(std::string path, uint64_t offset, uint64_t length, uint64_t maximumSize)
    : path(std::move(path)), offset(offset), length(length), maximumSize(maximumSize) {}

FileSource::~FileSource() {
  if (file != nullptr) std::fclose(file);
}

bool FileSource::open(std::string* problem) {
  const std::filesystem::path name = pathOf(path);
  if (!readable(name, problem)) return false;
  file = openFile(name, "rb");
  if (file == nullptr) {
    *problem = "cannot read " + quoted(name) + ": " + systemReason();
    return false;
  }
  std::setvbuf(file, nullptr, _IOFBF, kStdioBuffer);
  // A regular file too large is refused before it is read; a pipe once it has given too much.
  std::error_code error;
  uint64_t size = 0;
  seekable = std::filesystem::is_regular_file(name, error);
  if (seekable && sizeOf(file, &size) && size > offset && std::min(size - offset, length) > maximumSize) {
    *problem = tooLarge(name, maximumSize);
    return false;
  }
  return rewind(problem);
}

bool FileSource::read(uint8_t* buffer, size_t capacity, size_t* count, std::string* problem) {
  *count = 0;
  if (file == nullptr) {
    *problem = "cannot read " + quoted(pathOf(path)) + ": not open";
    return false;
  }
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(capacity, length - position));
  if (wanted == 0) return true;
  *count = std::fread(buffer, 1, wanted, file);
  if (*count < wanted && std::ferror(file)) {
    *problem = "cannot read " + quoted(pathOf(path)) + ": " + systemReason();
    return false;
  }
  position += *count;
  if (position > maximumSize) {
    *problem = tooLarge(pathOf(path), maximumSize);
    return false;
  }
  return true;
}

bool FileSource::rewind(std::string* problem) {
  position = 0;
  // A pipe is read once, from its start, and cannot seek.
  if (!seekable && offset == 0 && file != nullptr) return true;
  if (file == nullptr || !seekTo(file, offset)) {
    *problem = "cannot read " + quoted(pathOf(path)) + ": " + systemReason();
    return false;
  }
  std::clearerr(file);
  return true;
}

bool readWholeFile(const std::string& path, uint64_t maximumSize, std::vector<uint8_t>* bytes,
                   std::string* problem) {
  bytes->clear();
  FileSource source(path, 0, FileSource::kToTheEnd, maximumSize);
  MemorySink sink(bytes);
  uint64_t count = 0;
  if (source.open(problem) && copyBytes(source, sink, &count, problem)) return true;
  bytes->clear();
  return false;
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
  if (registered) forgetTemporaryFile(temporary);
}

void AtomicOutput::registerTemporary() {
  if (registered) return;
  registerTemporaryFile(temporary);
  registered = true;
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
  // A leftover of a killed run (or a link planted there) must not be written through.
  registerTemporary();
  std::filesystem::remove(temporary, error);
  return true;
}

bool AtomicOutput::open(std::string* problem) {
  if (!clearTemporary(problem)) return false;
  createWithInterruptionsHeld([this] {
#ifdef _WIN32
    // The Windows C runtime has no exclusive-create mode; the removal above has to do.
    file = openFile(temporary, "wb");
#else
    file = openFile(temporary, "wbx");
#endif
  });
  if (file == nullptr) {
    *problem = "cannot write " + quoted(destination) + ": " + systemReason();
    return false;
  }
  std::setvbuf(file, nullptr, _IOFBF, kStdioBuffer);
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

bool AtomicOutput::writeAt(uint64_t offset, const void* data, size_t size, std::string* problem) {
  if (file == nullptr || std::fflush(file) != 0 || !seekTo(file, offset)) {
    *problem = "cannot write " + quoted(destination) + ": " + systemReason();
    return false;
  }
  if (!write(data, size, problem)) return false;
  if (std::fflush(file) != 0 || !seekTo(file, 0, SEEK_END)) {
    *problem = "cannot write " + quoted(destination) + ": " + systemReason();
    return false;
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
  forgetTemporaryFile(temporary);
  registered = false;
  return true;
}

bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* problem) {
  AtomicOutput output(path);
  return output.open(problem) && output.write(bytes, problem) && output.commit(problem);
}

} // namespace pqpack
