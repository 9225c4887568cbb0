// Writing an installer: the entries as stored, their places in the file, and the file.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "file_io.h"
#include "installer_image.h"
#include "progress_meter.h"

namespace pqpack {

namespace {

// Where a stream goes while it is made, and where it is read back from to be proven.
class StreamStore : public ByteSink {
public:
  virtual std::unique_ptr<ByteSource> readBack(std::string* problem) = 0;
};

class MemoryStore : public StreamStore {
public:
  explicit MemoryStore(std::vector<uint8_t>* bytes) : bytes(bytes), sink(bytes) {}
  bool write(const void* data, size_t size, std::string* problem) override { return sink.write(data, size, problem); }
  std::unique_ptr<ByteSource> readBack(std::string*) override { return std::make_unique<MemorySource>(*bytes); }

private:
  std::vector<uint8_t>* bytes;
  MemorySink sink;
};

class TemporaryStore : public StreamStore {
public:
  explicit TemporaryStore(AtomicOutput& file) : file(file) {}
  bool write(const void* data, size_t size, std::string* problem) override { return file.write(data, size, problem); }
  std::unique_ptr<ByteSource> readBack(std::string* problem) override {
    auto source = std::make_unique<FileSource>(file.temporaryPath());
    if (!file.close(problem) || !source->open(problem)) return nullptr;
    return source;
  }

private:
  AtomicOutput& file;
};

// Compares what it is given with the next bytes of a source.
class MatchingSink : public ByteSink {
public:
  explicit MatchingSink(ByteSource& expected) : expected(expected) {}
  bool write(const void* data, size_t size, std::string* problem) override {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0 && !differs) {
      size_t count = 0;
      if (!expected.read(buffer.data(), std::min(size, buffer.size()), &count, problem)) return false;
      differs = count == 0 || std::memcmp(buffer.data(), bytes, count) != 0;
      bytes += count;
      size -= count;
    }
    return true;
  }
  bool differs = false;

private:
  ByteSource& expected;
  std::array<uint8_t, 4096> buffer;
};

// Passes a source of `size` bytes through and tells `progress` of each byte the first time it
// is read: the input is read once to be compressed and once more to prove the stream, and
// counts once. Bytes never read (a stream given up as no smaller) count when it goes.
class ProgressSource : public ByteSource {
public:
  ProgressSource(ByteSource& source, uint64_t size, ProgressMeter* progress)
      : source(source), size(size), progress(progress) {}
  ~ProgressSource() override { report(size - std::min(counted, size)); }
  bool read(uint8_t* buffer, size_t capacity, size_t* count, std::string* problem) override {
    if (!source.read(buffer, capacity, count, problem)) return false;
    position += *count;
    if (position > counted) {
      report(std::min(position, size) - std::min(counted, size));
      counted = position;
    }
    return true;
  }
  bool rewind(std::string* problem) override {
    position = 0;
    return source.rewind(problem);
  }

private:
  void report(uint64_t bytes) {
    if (progress != nullptr && bytes > 0) progress->advance(bytes);
  }

  ByteSource& source;
  const uint64_t size;
  ProgressMeter* progress;
  uint64_t position = 0;
  uint64_t counted = 0;
};

pq::ImplodeOptions entryOptions(pq::ImplodeLevel level, unsigned threads) {
  pq::ImplodeOptions options;
  options.literalMode = PQ_CMP_BINARY;
  options.dictionarySize = 4096;
  options.level = level;
  options.threads = threads;
  return options;
}

// Implodes `input`, `size` bytes, into `stream`, and tells in `keep` whether the stream is
// worth storing: smaller than the input and expanding back to exactly it. An installer that
// cannot expand its own entries is worse than a larger one. A stream that reaches the input's
// size is not finished. False, with `problem` set, when reading or writing fails.
bool implodeWhenSmaller(ByteSource& input, uint64_t size, StreamStore& stream, const pq::ImplodeOptions& options,
                        uint64_t* streamSize, bool* keep, std::string* problem) {
  *keep = false;
  CodecRun imploded;
  if (!implodeBytes(input, stream, options, size, &imploded, problem)) return false;
  if (imploded.result != PQ_CMP_NO_ERROR || imploded.written >= size) return true;
  *streamSize = imploded.written;
  const std::unique_ptr<ByteSource> written = stream.readBack(problem);
  if (!written || !input.rewind(problem)) return false;
  MatchingSink matching(input);
  CodecRun expanded;
  if (!explodeBytes(*written, matching, size + 1, &expanded, problem)) return false;
  *keep = expanded.result == PQ_CMP_NO_ERROR && expanded.written == size && !matching.differs;
  return true;
}

} // namespace

PayloadEntry makePayloadEntry(const std::string& name, int32_t fileType, const std::vector<uint8_t>& bytes,
                              Compression compression, pq::ImplodeLevel level, unsigned threads) {
  PayloadEntry entry;
  entry.name = name;
  entry.fileType = fileType;
  entry.unzippedSize = bytes.size();
  if (compression == Compression::ImplodeWhenSmaller && !bytes.empty()) {
    MemorySource input(bytes);
    MemoryStore stream(&entry.stored);
    uint64_t streamSize = 0;
    std::string ignored;  // memory neither fails to read nor to write
    if (implodeWhenSmaller(input, bytes.size(), stream, entryOptions(level, threads), &streamSize, &entry.isZipped,
                           &ignored) &&
        entry.isZipped) {
      entry.storedSize = entry.stored.size();
      return entry;
    }
  }
  entry.isZipped = false;
  entry.stored = bytes;
  entry.storedSize = bytes.size();
  return entry;
}

bool makeFileEntry(const FileEntryInput& from, pq::ImplodeLevel level, unsigned threads, const std::string& output,
                   const std::string& stage, PayloadEntry* entry, std::string* problem, ProgressMeter* progress) {
  *entry = PayloadEntry{};
  entry->name = from.name;
  entry->fileType = from.fileType;
  entry->unzippedSize = from.size;
  entry->storedFile = from.path;
  entry->storedSize = from.size;
  if (from.compression == Compression::Store || from.size == 0) return true;

  FileSource file(from.path, 0, from.size);
  auto temporary = std::make_shared<AtomicOutput>(output, stage);
  if (!file.open(problem) || !temporary->open(problem)) return false;
  TemporaryStore stream(*temporary);
  uint64_t streamSize = 0;
  bool keep = false;
  ProgressSource input(file, from.size, progress);
  if (!implodeWhenSmaller(input, from.size, stream, entryOptions(level, threads), &streamSize, &keep, problem)) {
    return false;
  }
  if (keep) {
    entry->isZipped = true;
    entry->storedFile = temporary->temporaryPath();
    entry->temporary = std::move(temporary);
    entry->storedSize = streamSize;
  }
  return true;
}

EntryPlan planOf(const PayloadEntry& entry) {
  return EntryPlan{entry.name, entry.fileType, entry.isZipped, entry.storedSize, entry.unzippedSize};
}

namespace {

bool writeStoredBytes(ByteSink& sink, const PayloadEntry& entry, std::string* problem) {
  if (entry.storedFile.empty()) return sink.write(entry.stored.data(), entry.stored.size(), problem);
  FileSource source(entry.storedFile, 0, entry.storedSize);
  uint64_t count = 0;
  if (!source.open(problem) || !copyBytes(source, sink, &count, problem)) return false;
  if (count != entry.storedSize) {
    *problem = "'" + entry.storedFile + "' changed while the installer was built: it ends after " +
               std::to_string(count) + " of its " + std::to_string(entry.storedSize) + " bytes";
    return false;
  }
  return true;
}

} // namespace

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

bool writeInstallerTo(AtomicOutput& output, const std::vector<uint8_t>& program,
                      const std::array<PayloadEntry, 5>& payload, std::string* problem) {
  std::array<TInstallFileInfo, kDirectoryEntryCount> directory;
  uint64_t fileSize = 0;
  std::array<EntryPlan, 5> plans;
  for (size_t slot = 0; slot < plans.size(); ++slot) plans[slot] = planOf(payload[slot]);
  if (!layOutDirectory(program.size(), plans, &directory, &fileSize, problem)) return false;

  std::vector<uint8_t> table(kDirectoryTableSize);
  encodeDirectoryTable(directory.data(), table.data());

  if (!output.open(problem) || !output.write(program, problem) ||
      !output.writeZeros(DIRECTORY_OFFSET - program.size(), problem) || !output.write(table, problem)) {
    return false;
  }
  for (const PayloadEntry& entry : payload) {
    if (!writeStoredBytes(output, entry, problem)) return false;
  }
  return true;
}

bool writeInstaller(const std::string& path, const std::vector<uint8_t>& program,
                    const std::array<PayloadEntry, 5>& payload, std::string* problem) {
  AtomicOutput output(path);
  return writeInstallerTo(output, program, payload, problem) && output.commit(problem);
}

} // namespace pqpack
