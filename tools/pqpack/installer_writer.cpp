// Writing an installer: the entries as stored, their places in the file, and the file.
#include "file_io.h"
#include "installer_image.h"

namespace pqpack {

PayloadEntry makePayloadEntry(const std::string& name, int32_t fileType, const std::vector<uint8_t>& bytes,
                              Compression compression, pq::ImplodeLevel level, unsigned threads) {
  PayloadEntry entry;
  entry.name = name;
  entry.fileType = fileType;
  entry.unzippedSize = bytes.size();
  if (compression == Compression::ImplodeWhenSmaller && !bytes.empty()) {
    pq::ImplodeOptions options;
    options.literalMode = PQ_CMP_BINARY;
    options.dictionarySize = 4096;
    options.level = level;
    options.threads = threads;
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
    if (!output.write(entry.stored, problem)) return false;
  }
  return true;
}

bool writeInstaller(const std::string& path, const std::vector<uint8_t>& program,
                    const std::array<PayloadEntry, 5>& payload, std::string* problem) {
  AtomicOutput output(path);
  return writeInstallerTo(output, program, payload, problem) && output.commit(problem);
}

} // namespace pqpack
