#include "installer_image.h"

#include <cstdio>
#include <cstring>

#include "file_io.h"
#include "platform/win_path.h"

namespace pqpack {

namespace {

std::string entryLabel(int index, const TInstallFileInfo& entry) {
  const std::string name = entryName(entry);
  return "entry " + std::to_string(index) + (name.empty() ? "" : " (" + name + ")");
}

const char* decoderResultMeaning(uint32_t result) {
  switch (result) {
    case PQ_CMP_INVALID_DICTSIZE: return "the dictionary-size byte is not 4, 5 or 6";
    case PQ_CMP_INVALID_MODE: return "the literal-mode byte is not 0 or 1";
    case PQ_CMP_BAD_DATA: return "4 bytes or fewer";
    case PQ_CMP_ABORT: return "the stream ends before its end code";
    default: return "unknown result";
  }
}

} // namespace

std::string unsafeNameReason(const std::string& name) {
  // The verdict is the installer's own rule; this only finds words for a refusal.
  if (pq::isSafeEntryName(name)) return "";
  if (name.empty()) return "the name is empty";
  const std::string quotedName = "the name '" + name + "'";
  if (name.size() > static_cast<size_t>(kEntryNameCapacity)) return quotedName + " is longer than 255 characters";
  if (name.find_first_not_of(". ") == std::string::npos) return quotedName + " names a directory, not a file";
  for (unsigned char c : name) {
    if (c < 32) return quotedName + " contains a control character";
    if (std::strchr("\\/:", c) != nullptr) {
      return quotedName + " contains '" + std::string(1, static_cast<char>(c)) + "': entry names are bare file names";
    }
    if (std::strchr("<>\"|?*", c) != nullptr) {
      return quotedName + " contains '" + std::string(1, static_cast<char>(c)) +
             "', which Windows does not allow in a file name";
    }
  }
  return quotedName + " is a reserved device name";
}

std::string libraryEntryName(const std::string& fileName) { return pq::changeFileExt(fileName, ".dat"); }

std::string installedLibraryName(const std::string& entryName) { return pq::changeFileExt(entryName, ".dll"); }

bool isScreenSaverName(const std::string& name) { return pq::normalizedExtension(name) == ".scr"; }

PayloadEntry makePayloadEntry(const std::string& name, int32_t fileType, const std::vector<uint8_t>& bytes,
                              Compression compression, pq::ImplodeLevel level) {
  PayloadEntry entry;
  entry.name = name;
  entry.fileType = fileType;
  entry.unzippedSize = bytes.size();
  if (compression == Compression::ImplodeWhenSmaller && !bytes.empty()) {
    pq::ImplodeOptions options;
    options.literalMode = PQ_CMP_BINARY;
    options.dictionarySize = 4096;
    options.level = level;
    std::vector<uint8_t> stream;
    if (pq::implodeBuffer(bytes.data(), bytes.size(), options, &stream) == PQ_CMP_NO_ERROR &&
        stream.size() < bytes.size()) {
      // An installer that cannot expand its own entries is worse than a larger one: keep the
      // stream only when it is proven to give the bytes back.
      std::vector<uint8_t> expanded;
      if (pq::explodeBuffer(stream.data(), stream.size(), &expanded) == PQ_CMP_NO_ERROR && expanded == bytes) {
        entry.isZipped = true;
        entry.stored = std::move(stream);
        return entry;
      }
    }
  }
  entry.stored = bytes;
  return entry;
}

EntryPlan planOf(const PayloadEntry& entry) {
  return EntryPlan{entry.name, entry.fileType, entry.isZipped, entry.stored.size(), entry.unzippedSize};
}

bool layOutDirectory(uint64_t programSize, const std::array<EntryPlan, 5>& plans,
                     std::array<TInstallFileInfo, kDirectoryEntryCount>* directory, uint64_t* fileSize,
                     std::string* problem) {
  if (programSize == 0) {
    *problem = "the installer program is empty";
    return false;
  }
  if (programSize > static_cast<uint64_t>(DIRECTORY_OFFSET)) {
    *problem = "the installer program is " + std::to_string(programSize) + " bytes, longer than the " +
               std::to_string(DIRECTORY_OFFSET) + " bytes before the directory table";
    return false;
  }
  directory->fill(TInstallFileInfo{});

  TInstallFileInfo& program = (*directory)[0];
  setEntryName(program, kProgramEntryName);
  program.startOffset = 0;
  program.stopOffset = DIRECTORY_OFFSET - 1;
  program.fileType = kFileType_Main;
  program.unzippedSize = DIRECTORY_OFFSET;

  uint64_t next = static_cast<uint64_t>(kFirstEntryOffset);
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    const EntryPlan& source = plans[index - 1];
    const std::string label = "entry " + std::to_string(index) + " (" + source.name + ")";
    const std::string reason = unsafeNameReason(source.name);
    if (!reason.empty()) {
      *problem = "entry " + std::to_string(index) + ": " + reason;
      return false;
    }
    if (source.storedSize == 0) {
      *problem = label + " is empty: every entry must hold at least one byte";
      return false;
    }
    const uint64_t stop = next + source.storedSize - 1;
    if (stop >= kMaximumInstallerSize) {
      *problem = "the installer would reach " + std::to_string(stop + 1) + " bytes with " + label +
                 "; it must stay below 2 GiB";
      return false;
    }
    if (source.unzippedSize > kMaximumInstallerSize) {
      *problem = label + " expands to " + std::to_string(source.unzippedSize) +
                 " bytes; a file must stay below 2 GiB";
      return false;
    }
    TInstallFileInfo& entry = (*directory)[index];
    setEntryName(entry, source.name);
    entry.startOffset = static_cast<int32_t>(next);
    entry.stopOffset = static_cast<int32_t>(stop);
    entry.fileType = source.fileType;
    entry.isZipped = source.isZipped ? 1 : 0;
    entry.zippedSize = source.isZipped ? static_cast<int32_t>(source.storedSize) : 0;
    entry.unzippedSize = static_cast<int32_t>(source.unzippedSize);
    next = stop + 1;
  }
  *fileSize = next;
  return true;
}

bool writeInstaller(const std::string& path, const std::vector<uint8_t>& program,
                    const std::array<PayloadEntry, 5>& payload, std::string* problem) {
  std::array<TInstallFileInfo, kDirectoryEntryCount> directory;
  uint64_t fileSize = 0;
  std::array<EntryPlan, 5> plans;
  for (size_t slot = 0; slot < plans.size(); ++slot) plans[slot] = planOf(payload[slot]);
  if (!layOutDirectory(program.size(), plans, &directory, &fileSize, problem)) return false;

  std::vector<uint8_t> table(kDirectoryTableSize);
  for (int index = 0; index < kDirectoryEntryCount; ++index) {
    encodeEntry(directory[index], table.data() + index * sizeof(TInstallFileInfo));
  }

  AtomicOutput output(path);
  if (!output.open(problem) || !output.write(program, problem) ||
      !output.writeZeros(DIRECTORY_OFFSET - program.size(), problem) || !output.write(table, problem)) {
    return false;
  }
  for (const PayloadEntry& entry : payload) {
    if (!output.write(entry.stored, problem)) return false;
  }
  return output.commit(problem);
}

// ---- Reading ---------------------------------------------------------------------------------

namespace {

// An open installer file that closes itself.
class InputFile {
public:
  explicit InputFile(const std::string& path) : file(std::fopen(path.c_str(), "rb")) {}
  ~InputFile() {
    if (file != nullptr) std::fclose(file);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool isOpen() const { return file != nullptr; }
  bool readAt(uint64_t offset, void* buffer, size_t size) {
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    return std::fread(buffer, 1, size, file) == size;
  }
  bool size(uint64_t* size) {
    if (fseeko(file, 0, SEEK_END) != 0) return false;
    const off_t end = ftello(file);
    if (end < 0) return false;
    *size = static_cast<uint64_t>(end);
    return true;
  }

private:
  std::FILE* file;
};

} // namespace

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
    *problem = "'" + path + "' is " + std::to_string(image->fileSize) +
               " bytes, too short for an installer: its directory table ends at byte " +
               std::to_string(kFirstEntryOffset);
    return false;
  }
  uint8_t table[kDirectoryTableSize];
  if (!file.readAt(DIRECTORY_OFFSET, table, sizeof table)) {
    *problem = "cannot read the directory table of '" + path + "'";
    return false;
  }
  for (int index = 0; index < kDirectoryEntryCount; ++index) {
    decodeEntry(table + index * sizeof(TInstallFileInfo), &image->entries[index]);
  }
  return true;
}

bool readStoredBytes(const std::string& path, const InstallerImage& image, int index, std::vector<uint8_t>* bytes,
                     std::string* problem) {
  const TInstallFileInfo& entry = image.entries[index];
  const std::string label = entryLabel(index, entry);
  if (entry.startOffset < 0 || entry.startOffset > entry.stopOffset) {
    *problem = label + ": empty or inverted range " + std::to_string(entry.startOffset) + " to " +
               std::to_string(entry.stopOffset);
    return false;
  }
  if (static_cast<uint64_t>(entry.stopOffset) >= image.fileSize) {
    *problem = label + ": ends at " + std::to_string(entry.stopOffset) + ", past the end of the file (" +
               std::to_string(image.fileSize) + " bytes)";
    return false;
  }
  InputFile file(path);
  bytes->resize(static_cast<size_t>(storedSize(entry)));
  if (!file.isOpen() || !file.readAt(static_cast<uint64_t>(entry.startOffset), bytes->data(), bytes->size())) {
    *problem = label + ": cannot read its stored bytes from '" + path + "'";
    return false;
  }
  return true;
}

namespace {

// Replaces a compressed entry's stored bytes by the file they expand to.
bool expandStoredBytes(int index, const TInstallFileInfo& entry, std::vector<uint8_t>* bytes, std::string* problem) {
  if (entry.isZipped == 0) return true;
  std::vector<uint8_t> expanded;
  const uint32_t result = pq::explodeBuffer(bytes->data(), bytes->size(), &expanded);
  if (result != PQ_CMP_NO_ERROR) {
    *problem = entryLabel(index, entry) + ": the compressed stream does not expand (decoder result " +
               std::to_string(result) + ": " + decoderResultMeaning(result) + ")";
    return false;
  }
  if (expanded.size() != static_cast<uint64_t>(static_cast<uint32_t>(entry.unzippedSize))) {
    *problem = entryLabel(index, entry) + ": expands to " + std::to_string(expanded.size()) +
               " bytes, not its unzippedSize " + std::to_string(entry.unzippedSize);
    return false;
  }
  *bytes = std::move(expanded);
  return true;
}

} // namespace

bool readEntryFile(const std::string& path, const InstallerImage& image, int index, std::vector<uint8_t>* bytes,
                   std::string* problem) {
  return readStoredBytes(path, image, index, bytes, problem) &&
         expandStoredBytes(index, image.entries[index], bytes, problem);
}

std::string installerMode(const InstallerImage& image) {
  return isScreenSaverName(entryName(image.entries[2])) ? "screen saver" : "movie";
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
  return line + entryName(entry);
}

namespace {

void checkProgramEntry(const TInstallFileInfo& entry, std::vector<std::string>* problems) {
  auto expect = [&](const char* field, int64_t actual, int64_t wanted) {
    if (actual != wanted) {
      problems->push_back("entry 0: " + std::string(field) + " is " + std::to_string(actual) + ", not " +
                          std::to_string(wanted));
    }
  };
  if (entryName(entry) != kProgramEntryName) {
    problems->push_back("entry 0: name is '" + entryName(entry) + "', not '" + kProgramEntryName + "'");
  }
  expect("startOffset", entry.startOffset, 0);
  expect("stopOffset", entry.stopOffset, DIRECTORY_OFFSET - 1);
  expect("kind", entry.fileType, kFileType_Main);
  expect("isZipped", entry.isZipped, 0);
  expect("zippedSize", entry.zippedSize, 0);
  expect("unzippedSize", entry.unzippedSize, DIRECTORY_OFFSET);
}

void checkPlacement(const InstallerImage& image, int index, std::vector<std::string>* problems) {
  const TInstallFileInfo& entry = image.entries[index];
  const std::string label = entryLabel(index, entry);
  if (index == kFirstExtractedEntry) {
    if (entry.startOffset != kFirstEntryOffset) {
      problems->push_back(label + ": starts at " + std::to_string(entry.startOffset) +
                          ", not right after the directory table at " + std::to_string(kFirstEntryOffset));
    }
  } else {
    const int64_t previousStop = image.entries[index - 1].stopOffset;
    if (entry.startOffset != previousStop + 1) {
      problems->push_back(label + ": starts at " + std::to_string(entry.startOffset) + ", not right after entry " +
                          std::to_string(index - 1) + " at " + std::to_string(previousStop + 1));
    }
  }
  if (index == kLastExtractedEntry && static_cast<uint64_t>(static_cast<int64_t>(entry.stopOffset) + 1) != image.fileSize) {
    problems->push_back(label + ": ends at " + std::to_string(entry.stopOffset) + ", but the file's last byte is " +
                        std::to_string(image.fileSize - 1));
  }
  if (entry.startOffset >= 0 && entry.startOffset < kFirstEntryOffset && entry.startOffset <= entry.stopOffset) {
    problems->push_back(label + ": starts at " + std::to_string(entry.startOffset) +
                        ", inside the program or the directory table");
  }
}

void checkKind(int index, const TInstallFileInfo& entry, std::vector<std::string>* problems) {
  const std::string label = entryLabel(index, entry);
  if (entry.fileType < kFileType_Plain || entry.fileType > kFileType_Data) {
    problems->push_back(label + ": kind " + std::to_string(entry.fileType) + " is not one of 1 to 4");
  }
  if (index == 1) {
    if (entry.fileType != kFileType_Library) {
      problems->push_back(label + ": kind " + std::to_string(entry.fileType) + ", not 3: entry 1 must be the compression library");
    }
    if (entry.isZipped != 0) problems->push_back(label + ": compressed, but the compression library must be stored");
    if (pq::asciiLower(installedLibraryName(entryName(entry))) != kLibraryFileName) {
      problems->push_back(label + ": lands as '" + installedLibraryName(entryName(entry)) + "', not as '" +
                          kLibraryFileName + "', where compressed entries are expanded from");
    }
  }
  if (index == 3 && entry.fileType != kFileType_Data) {
    problems->push_back(label + ": kind " + std::to_string(entry.fileType) + ", not 4: entry 3 must be the data file");
  }
}

void checkSizes(int index, const TInstallFileInfo& entry, std::vector<std::string>* problems) {
  const std::string label = entryLabel(index, entry);
  const int32_t stored = storedSize(entry);
  if (entry.isZipped == 0) {
    if (entry.zippedSize != 0) {
      problems->push_back(label + ": zippedSize is " + std::to_string(entry.zippedSize) + " for a stored entry, not 0");
    }
    if (entry.unzippedSize != stored) {
      problems->push_back(label + ": unzippedSize is " + std::to_string(entry.unzippedSize) + ", but it stores " +
                          std::to_string(stored) + " bytes");
    }
  } else if (entry.zippedSize != stored) {
    problems->push_back(label + ": zippedSize is " + std::to_string(entry.zippedSize) + ", but it stores " +
                        std::to_string(stored) + " bytes");
  }
}

void checkContents(const std::string& path, const InstallerImage& image, int index, std::vector<std::string>* problems) {
  const TInstallFileInfo& entry = image.entries[index];
  const std::string label = entryLabel(index, entry);
  std::vector<uint8_t> stored;
  std::string problem;
  if (!readStoredBytes(path, image, index, &stored, &problem)) {
    problems->push_back(problem);
    return;
  }
  if (entry.isZipped != 0 && (stored.size() < 2 || stored[0] != 0x00 || stored[1] != 0x06)) {
    char found[32];
    std::snprintf(found, sizeof found, "%02X %02X", stored.empty() ? 0 : stored[0], stored.size() < 2 ? 0 : stored[1]);
    problems->push_back(label + ": compressed stream starts " + found + ", not 00 06");
  }
  std::vector<uint8_t>& file = stored;
  if (!expandStoredBytes(index, entry, &file, &problem)) {
    problems->push_back(problem);
    return;
  }
  // The installer reads the QuickTime level from the data file's first 64 bytes.
  if (index == 3 && file.size() < 64) {
    problems->push_back(label + ": the data file has " + std::to_string(file.size()) +
                        " bytes, fewer than its 64-byte header");
  }
}

} // namespace

std::vector<std::string> findProblems(const std::string& path) {
  std::vector<std::string> problems;
  InstallerImage image;
  std::string problem;
  if (!readInstallerImage(path, &image, &problem)) {
    problems.push_back(problem);
    return problems;
  }
  if (image.fileSize > kMaximumInstallerSize) {
    problems.push_back("file: " + std::to_string(image.fileSize) + " bytes, not below 2 GiB");
  }
  checkProgramEntry(image.entries[0], &problems);
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry; ++index) {
    const TInstallFileInfo& entry = image.entries[index];
    const std::string reason = unsafeNameReason(entryName(entry));
    if (!reason.empty()) problems.push_back(entryLabel(index, entry) + ": " + reason);
    checkKind(index, entry, &problems);
    checkPlacement(image, index, &problems);
    checkSizes(index, entry, &problems);
    checkContents(path, image, index, &problems);
  }
  return problems;
}

} // namespace pqpack
