// Reading an installer back: its directory, the file an entry stands for (a block at a time),
// and the listing lines.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ansi_text.h"
#include "decoder_results.h"
#include "file_io.h"
#include "installer_image.h"
#include "pe_image.h"

namespace pqpack {

bool readInstallerImage(const std::string& path, InstallerImage* image, std::string* problem) {
  InputFile file(path);
  if (!file.isOpen()) {
    *problem = "cannot read '" + path + "': " + std::strerror(errno);
    return false;
  }
  if (!file.size(&image->fileSize)) {
    *problem = "cannot read '" + path + "': cannot tell its size";
    return false;
  }
  if (image->fileSize < static_cast<uint64_t>(kFirstEntryOffset)) {
    *problem = "'" + path + "' is not an installer: it is " + std::to_string(image->fileSize) +
               " bytes, too short for an installer, whose directory table ends at byte " +
               std::to_string(kFirstEntryOffset);
    return false;
  }
  uint8_t table[kDirectoryTableSize];
  if (!file.readAt(DIRECTORY_OFFSET, table, sizeof table)) {
    *problem = "cannot read the directory table of '" + path + "'";
    return false;
  }
  decodeDirectoryTable(table, image->entries.data());
  PeHeaders headers;
  std::string ignored;
  image->startsWithProgram = readPeHeaders(ByteView(readProgramBytes(path)), &headers, &ignored);
  if (image->startsWithProgram) {
    const PeDataDirectory security = headers.directory(kPeDirectory_Security);
    image->certificate = {security.address, security.size};
  }
  return true;
}

bool readInstaller(const std::string& path, InstallerImage* image, std::string* problem) {
  if (!readInstallerImage(path, image, problem)) return false;
  const std::string notAnInstaller = "'" + path + "' is not an installer: ";
  if (!image->startsWithProgram) {
    *problem = notAnInstaller + "it does not start with a Windows program";
    return false;
  }
  const TInstallFileInfo& program = image->entries[0];
  if (entryName(program) != kProgramEntryName || program.startOffset != 0 ||
      program.stopOffset != DIRECTORY_OFFSET - 1) {
    *problem = notAnInstaller + "there is no installer's directory table at byte " + std::to_string(DIRECTORY_OFFSET) +
               " (pqpack verify tells what is there)";
    return false;
  }
  return true;
}

std::vector<uint8_t> readProgramBytes(const std::string& path) {
  std::vector<uint8_t> program(static_cast<size_t>(DIRECTORY_OFFSET));
  InputFile file(path);
  program.resize(file.readUpTo(0, program.data(), program.size()));
  return program;
}

std::string storedRangeProblem(const TInstallFileInfo& entry, uint64_t fileSize) {
  if (entry.startOffset < 0 || entry.startOffset > entry.stopOffset) {
    return "empty or inverted range " + std::to_string(entry.startOffset) + " to " + std::to_string(entry.stopOffset);
  }
  if (static_cast<uint64_t>(entry.stopOffset) >= fileSize) {
    return "ends at " + std::to_string(entry.stopOffset) + ", past the end of the file (" + std::to_string(fileSize) +
           " bytes)";
  }
  return "";
}

namespace {

// storedRangeProblem of entry `index`, said of the entry.
bool storedRangeReadable(const InstallerImage& image, int index, std::string* problem) {
  const TInstallFileInfo& entry = image.entries[index];
  const std::string range = storedRangeProblem(entry, image.fileSize);
  if (!range.empty()) *problem = entryLabel(index, entry) + ": " + range;
  return range.empty();
}

} // namespace

bool readEntryFile(const std::string& path, const InstallerImage& image, int index, ByteSink& sink,
                   std::string* problem) {
  if (!storedRangeReadable(image, index, problem)) return false;
  const TInstallFileInfo& entry = image.entries[index];
  const std::string label = entryLabel(index, entry);
  const uint64_t stored = static_cast<uint64_t>(storedSize(entry));
  // A stored entry is its file: one whose size says otherwise has a wrong flag or size.
  if (entry.isZipped == 0 && entry.unzippedSize != storedSize(entry)) {
    *problem = label + ": stored, but its unzippedSize " + std::to_string(entry.unzippedSize) + " is not the " +
               std::to_string(stored) + " bytes it stores";
    return false;
  }
  FileSource source(path, static_cast<uint64_t>(entry.startOffset), stored);
  std::string reason;
  if (!source.open(&reason)) {
    *problem = label + ": cannot read its stored bytes from '" + path + "'";
    return false;
  }
  if (entry.isZipped == 0) {
    uint64_t count = 0;
    if (!copyBytes(source, sink, &count, &reason)) {
      *problem = label + ": " + reason;
      return false;
    }
    if (count != stored) *problem = label + ": cannot read its stored bytes from '" + path + "'";
    return count == stored;
  }
  // A stream that goes on past the size it should have is not followed to its end.
  const uint64_t expected = static_cast<uint32_t>(entry.unzippedSize);
  CodecRun run;
  if (!explodeBytes(source, sink, expected + 1, &run, &reason)) {
    *problem = label + ": " + reason;
    return false;
  }
  if (run.written > expected) {
    *problem = label + ": expands to more than " + std::to_string(expected) + " bytes, its unzippedSize";
    return false;
  }
  if (run.result != PQ_CMP_NO_ERROR) {
    *problem = label + ": the compressed stream does not expand (decoder result " + std::to_string(run.result) +
               ": " + decoderResultText(run.result) + ")";
    return false;
  }
  if (run.written != expected) {
    *problem = label + ": expands to " + std::to_string(run.written) + " bytes, not its unzippedSize " +
               std::to_string(entry.unzippedSize);
    return false;
  }
  return true;
}

namespace {

// Keeps the first bytes it is given, up to its capacity.
class HeadSink : public ByteSink {
public:
  HeadSink(std::vector<uint8_t>* head, size_t capacity) : head(head), capacity(capacity) {}
  bool write(const void* data, size_t size, std::string*) override {
    const auto* bytes = static_cast<const uint8_t*>(data);
    head->insert(head->end(), bytes, bytes + std::min(size, capacity - head->size()));
    return true;
  }

private:
  std::vector<uint8_t>* head;
  size_t capacity;
};

} // namespace

bool readEntryHead(const std::string& path, const InstallerImage& image, int index, size_t size,
                   std::vector<uint8_t>* head, std::string* problem) {
  head->clear();
  if (!storedRangeReadable(image, index, problem)) return false;
  const TInstallFileInfo& entry = image.entries[index];
  const uint64_t stored = static_cast<uint64_t>(storedSize(entry));
  FileSource source(path, static_cast<uint64_t>(entry.startOffset), entry.isZipped != 0 ? stored : std::min<uint64_t>(stored, size));
  HeadSink sink(head, size);
  uint64_t count = 0;
  CodecRun run;
  std::string reason;
  const bool read = source.open(&reason) && (entry.isZipped == 0 ? copyBytes(source, sink, &count, &reason)
                                                                  : explodeBytes(source, sink, size, &run, &reason));
  if (!read) *problem = entryLabel(index, entry) + ": " + reason;
  return read;
}

std::string installerMode(const InstallerImage& image) {
  return isScreenSaverName(entryName(image.entries[kMainEntry])) ? "screen saver" : "movie";
}

std::string listingHeader() {
  char line[160];
  std::snprintf(line, sizeof line, "%-5s %-4s %-10s %10s %10s %10s %10s  %s", "entry", "kind", "storage", "start",
                "stop", "stored", "expanded", "name");
  return line;
}

std::string listingLine(int index, const TInstallFileInfo& entry) {
  char line[160];
  std::snprintf(line, sizeof line, "%-5d %-4d %-10s %10d %10d %10d %10d  ", index, static_cast<int>(entry.fileType),
                entry.isZipped != 0 ? "compressed" : "stored", static_cast<int>(entry.startOffset),
                static_cast<int>(entry.stopOffset), static_cast<int>(storedSize(entry)),
                static_cast<int>(entry.unzippedSize));
  return line + displayName(entryName(entry));
}

} // namespace pqpack
