// Extraction of entries 1 to 5 from the temporary copy of the installer: each entry's stored
// bytes are read whole into memory and written out as they are, or expanded through the
// compression library, at a destination chosen by the entry's kind and the install mode. The
// old file at the destination is removed first; the new one is written under a partial name
// and moved into place whole (partial_files.h).
#include <memory>
#include <new>

#include "archive/partial_files.h"
#include "compression/compressor.h"
#include "errors/logFile.h"
#include "errors/messages.h"
#include "installer/fInstall.h"
#include "installer/temporary_copy.h"
#include "platform/win_path.h"
#include "system/file_removal.h"

namespace {

// What one entry's transfer came to, and whether its failure has already been shown.
struct EntryOutcome {
  TResult code = 0;
  bool shown = false;
};

// A file-system failure: its error number, shown at once with the destination.
EntryOutcome fileSystemFailure(const std::string& destination) {
  const TResult code = failureCode(pq::os().lastError());
  showInstallError(code, destination);
  return EntryOutcome{code, true};
}

// Libraries always go to the Windows directory under a ".dll" name; the other kinds follow
// the mode. A kind the format does not define has no destination at all.
std::string destinationFor(const TInstallFileInfo& fileInfo) {
  const InstallMode mode = isScreenSaver == 1 ? InstallMode::ScreenSaver : InstallMode::Movie;
  return entryDestination(entryName(fileInfo), fileInfo.fileType, mode, pathWindows, pathInstallerDir);
}

// Reads the entry's stored bytes into `buffer`; false, with `outcome` set, when the copy fails
// or comes up short. Nothing has been created yet then.
bool readStoredBytes(pq::OsFile& source, uint8_t* buffer, uint32_t sizeToExtract, const std::string& destination,
                     EntryOutcome* outcome) {
  uint32_t bytesRead = 0;
  if (!source.read(buffer, sizeToExtract, &bytesRead)) {
    *outcome = fileSystemFailure(destination);
  } else if (bytesRead < sizeToExtract) {
    *outcome = EntryOutcome{kErr_ShortTransfer};
  }
  return outcome->code == 0;
}

// Expands the entry into a new partial file; the binding reports its own failures, and the
// file it made is judged by its size.
EntryOutcome expandEntry(pq::OsFile& source, const TInstallFileInfo& fileInfo, uint8_t* buffer,
                         uint32_t sizeToExtract, const std::string& destination, std::string* partial) {
  std::unique_ptr<TCompressor> compressor(new (std::nothrow) TCompressor());
  if (!compressor) return EntryOutcome{kErr_NoCompressor};
  logLine("unZipping file");

  EntryOutcome outcome;
  if (!readStoredBytes(source, buffer, sizeToExtract, destination, &outcome)) return outcome;

  *partial = partialPathFor(destination);
  const TResult expanded = compressor->expandToFile(*partial, buffer, sizeToExtract);
  compressor.reset();

  // A file the binding did not make (or could not flush) is none of this entry's, whatever may
  // stand at the partial name.
  pq::FoundFile found;
  if (expanded != 0 || !pq::os().findFirstFile(*partial, &found)) return EntryOutcome{kErr_FileNotFound};
  if (fileInfo.unzippedSize < 0 || found.size != static_cast<uint64_t>(fileInfo.unzippedSize)) {
    logLine("Error: unzippedSize = " + std::to_string(fileInfo.unzippedSize) +
            ", TSR.size = " + std::to_string(found.size));
    return EntryOutcome{kErr_SizeMismatch};
  }
  return EntryOutcome{};
}

// Writes the entry's stored bytes into a new partial file, flushed to the disk.
EntryOutcome writeStoredEntry(pq::OsFile& source, uint8_t* buffer, uint32_t sizeToExtract,
                              const std::string& destination, std::string* partial) {
  logLine("extracting non-compressed file");
  EntryOutcome outcome;
  if (!readStoredBytes(source, buffer, sizeToExtract, destination, &outcome)) return outcome;

  *partial = partialPathFor(destination);
  std::unique_ptr<pq::OsFile> file =
      pq::os().openFile(*partial, pq::FileAccess::Write, pq::FileShare::None, pq::FileCreation::CreateNew);
  if (!file) return fileSystemFailure(destination);

  uint32_t bytesWritten = 0;
  if (!file->write(buffer, sizeToExtract, &bytesWritten)) return fileSystemFailure(destination);
  if (!file->flush()) return fileSystemFailure(destination);
  if (!file->close()) return fileSystemFailure(destination);
  if (bytesWritten != sizeToExtract) return EntryOutcome{kErr_ShortTransfer};
  return EntryOutcome{};
}

// Reads the entry's stored bytes, writes its file under a partial name and moves it onto the
// destination; `partial` names the partial file once one may exist. The buffer comes first and
// then, for a compressed entry, the compressor (which loads the library): a range that runs
// past the end of the copy is found by the read that comes up short.
EntryOutcome transferEntry(pq::OsFile& source, const TInstallFileInfo& fileInfo, const std::string& destination,
                           std::string* partial) {
  const int32_t sizeToExtract = storedSize(fileInfo);
  if (sizeToExtract <= 0) return EntryOutcome{kErr_NoBuffer};
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[static_cast<size_t>(sizeToExtract)]);
  if (!buffer) return EntryOutcome{kErr_NoBuffer};

  const uint32_t size = static_cast<uint32_t>(sizeToExtract);
  const EntryOutcome written = fileInfo.isZipped != 0
                                   ? expandEntry(source, fileInfo, buffer.get(), size, destination, partial)
                                   : writeStoredEntry(source, buffer.get(), size, destination, partial);
  if (written.code != 0) return written;
  if (!movePartialIntoPlace(*partial, destination)) return fileSystemFailure(destination);
  return EntryOutcome{};
}

} // namespace

TResult TForm1::installFiles(const std::string& path) {
  TResult result = 0;
  LogOperation trace("installFiles", path, &result);
  claimedDestinations.clear();

  std::unique_ptr<pq::OsFile> source = openTemporaryCopy(path);
  if (!source) {
    result = failureCode(pq::os().lastError());
    showInstallError(result, path);
    logLine("inside installFiles");
    logLine("TFileStream.Create failed.");
    return result;
  }

  // The first failing entry ends the loop; the entries before it stay installed.
  for (int index = kFirstExtractedEntry; index <= kLastExtractedEntry && result == 0; ++index) {
    result = extractFile(*source, index);
  }
  return result;
}

TResult TForm1::extractFile(pq::OsFile& source, int index) {
  const TInstallFileInfo fileInfo = installerDirectory.entries[index];
  const std::string destination = destinationFor(fileInfo);
  TResult result = 0;
  LogOperation trace("extractFile", std::to_string(index), &result);

  // A negative offset cannot be positioned to: the system refuses it with its own error.
  if (!source.seek(fileInfo.startOffset)) {
    result = fileSystemFailure(destination).code;
    return result;
  }
  logLine("working on... " + std::to_string(index) + " " + entryName(fileInfo));
  logLine("seeking to... " + std::to_string(fileInfo.startOffset));

  // The bar shows the entry being worked on, so after a failure it shows the failing one.
  setProgressPosition(index);
  setCaption(statusLabel, destination);
  pq::os().processMessages();

  // An undefined kind must not be written anywhere, nor its empty destination cleared. Nothing
  // of the entry can be put in place, so it fails as a short transfer, reported as the damaged
  // installer that it is.
  if (destination.empty()) {
    showInstallError(kErr_InstallerCorrupted, pathInstaller);
    result = kErr_ShortTransfer;
    return result;
  }
  logLine("begin extracting " + destination);

  // A library in use by another program is left alone without a word; every other old file
  // gets the patient removal that reports a file which stays busy. The comparison is
  // case-sensitive on purpose: a main file ending in ".DLL" takes the patient route.
  EntryOutcome outcome;
  std::string partial;
  if (pq::extractFileExt(destination) == kInstalledLibraryExtension) {
    outcome.code = myDeleteFile(destination, ShowError::No);
  } else {
    outcome.code = myDeleteFile_WaitUntilNotBusy(destination, ShowError::Yes, kBusyFileAttempts);
    outcome.shown = true;
  }
  if (outcome.code == 0) {
    logLine(destination + " deleted");
    // From here on whatever stands at the destination is this installation's.
    claimedDestinations.push_back(destination);
    outcome = transferEntry(source, fileInfo, destination, &partial);
  }

  // A busy old file stays and extraction goes on; a busy saver stops it, already reported.
  if (outcome.code == kErr_FileBusy) outcome.code = 0;
  if (outcome.code != 0 && outcome.code != kErr_SaverBusy && !outcome.shown) {
    showInstallError(outcome.code, destination);
  }

  // The destination only ever receives a whole file; what an entry that failed wrote under its
  // partial name goes.
  if (outcome.code != 0 && !partial.empty()) myDeleteFile(partial, ShowError::No);

  result = outcome.code;
  return result;
}
