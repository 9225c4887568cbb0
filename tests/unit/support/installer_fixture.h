// Installers built in the simulated Windows, and the fixture that starts TForm1 on them.
//
// An image is what pqpack produces: a stub padded with zeros to DIRECTORY_OFFSET, the six-entry
// table, then entries 1 to 5 back to back, compressed ones as implode streams. Tests take a
// standard archive, change what the case needs (an offset, a kind, a name), and start it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/directory.h"
#include "compression/compressor.h"
#include "compression/implode.h"
#include "errors/messages.h"
#include "installer/action_lock.h"
#include "installer/fInstall.h"
#include "platform/sim/sim_os.h"
#include "sim_test.h"

namespace pqtest {

struct ImageEntry {
  std::string name;
  int32_t fileType = kFileType_Main;
  std::string contents;    // the file as it is installed
  bool compressed = false; // stored as an implode stream of `contents`
};

// Deterministic bytes that compress well but not trivially.
inline std::string patternBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (size_t index = 0; index < size; ++index) {
    state = state * 1103515245u + 12345u;
    bytes[index] = static_cast<char>((index % 64 < 40) ? 'A' + (index % 7) : (state >> 16) & 0xFF);
  }
  return bytes;
}

// A data file whose 64-byte header asks for `level` QuickTime.
inline std::string dataFileWithLevel(int32_t level, size_t size = 200) {
  std::string bytes = patternBytes(std::max<size_t>(size, 64), 3);
  for (int shift = 0; shift < 4; ++shift) bytes[8 + shift] = static_cast<char>((static_cast<uint32_t>(level) >> (8 * shift)) & 0xFF);
  return bytes;
}

// Entries 1 to 5 of a screen-saver installer: the library, Sunset.scr, Sunset.ssd and two
// more libraries, the saver and the libraries compressed as pqpack stores them.
inline std::vector<ImageEntry> screenSaverEntries() {
  return {
      {"impborl.dat", kFileType_Library, "MZ compression library " + patternBytes(300, 1), false},
      {"Sunset.scr", kFileType_Main, "MZ saver " + patternBytes(5000, 2), true},
      {"Sunset.ssd", kFileType_Data, dataFileWithLevel(0), false},
      {"lib1.dat", kFileType_Library, "MZ lib1 " + patternBytes(4096, 4), true},
      {"lib2.dat", kFileType_Library, "MZ lib2 " + patternBytes(700, 5), true},
  };
}

inline std::vector<ImageEntry> movieEntries() {
  std::vector<ImageEntry> entries = screenSaverEntries();
  entries[1].name = "Show.exe";
  entries[1].contents = "MZ movie " + patternBytes(3000, 6);
  entries[2].name = "Show.ssd";
  return entries;
}

// The image bytes; `editTable` may change the table after the layout has been worked out.
inline std::string buildInstallerImage(const std::vector<ImageEntry>& entries,
                                       const std::function<void(TInstallFileInfo*)>& editTable = {}) {
  TInstallFileInfo table[kDirectoryEntryCount] = {};
  setEntryName(table[0], "install.dat");
  table[0].startOffset = 0;
  table[0].stopOffset = DIRECTORY_OFFSET - 1;
  table[0].fileType = kFileType_Main;
  table[0].unzippedSize = DIRECTORY_OFFSET;

  std::string payload;
  int32_t offset = DIRECTORY_OFFSET + kDirectoryTableSize;
  for (size_t index = 0; index < entries.size() && index + 1 < kDirectoryEntryCount; ++index) {
    const ImageEntry& entry = entries[index];
    std::string stored = entry.contents;
    if (entry.compressed) {
      std::vector<uint8_t> packed;
      pq::implodeBuffer(reinterpret_cast<const uint8_t*>(entry.contents.data()), entry.contents.size(),
                        pq::ImplodeOptions{}, &packed);
      stored.assign(packed.begin(), packed.end());
    }
    TInstallFileInfo& info = table[index + 1];
    setEntryName(info, entry.name);
    info.startOffset = offset;
    info.stopOffset = offset + static_cast<int32_t>(stored.size()) - 1;
    info.fileType = entry.fileType;
    info.isZipped = entry.compressed ? 1 : 0;
    info.zippedSize = entry.compressed ? static_cast<int32_t>(stored.size()) : 0;
    info.unzippedSize = static_cast<int32_t>(entry.contents.size());
    payload += stored;
    offset += static_cast<int32_t>(stored.size());
  }
  if (editTable) editTable(table);

  std::string image = "MZ installer stub";
  image.resize(DIRECTORY_OFFSET, '\0');
  uint8_t bytes[kDirectoryTableSize];
  encodeDirectoryTable(table, bytes);
  image.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
  return image + payload;
}

// Records what the form tells its renderer.
class RecordingView : public FormView {
public:
  void controlChanged(const TForm1&, ControlId id) override { changes.push_back(id); }
  void repaintNow(const TForm1& form, ControlId id) override {
    if (id == ControlId::statusLabel) repaintedStatusTexts.push_back(form.statusLabel.caption);
  }
  void closeWindow(const TForm1&) override { ++closeCount; }

  std::vector<ControlId> changes;
  std::vector<std::string> repaintedStatusTexts;
  int closeCount = 0;
};

inline const char* const kInstallerPath = "C:\\Setup\\Setup.exe";
inline const char* const kTempCopyPath = "C:\\WINDOWS\\KWRXtemp1.dat";
// The saver Sunset.scr once installed, its data file and its uninstall key.
inline const char* const kSaver = "C:\\WINDOWS\\Sunset.scr";
inline const char* const kData = "C:\\WINDOWS\\Sunset.ssd";
inline const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sunset";
inline const std::string kActionLockPath = std::string("C:\\WINDOWS\\") + kActionLockFileName;

class InstallerTest : public SimTest<> {
protected:
  InstallerTest() : SimTest("installer"), form(&view) {
    resetRunState();
    resetCompressionState();
  }

  ~InstallerTest() override { resetRunState(); }

  // Puts the installer at kInstallerPath and runs the window's creation handler.
  void start(const std::string& image) {
    sim.putFile(kInstallerPath, image);
    form.FormCreate(nullptr);
  }
  void startScreenSaver() { start(buildInstallerImage(screenSaverEntries())); }
  void startMovie() { start(buildInstallerImage(movieEntries())); }
  // Another installer's action holds the machine-wide lock.
  void holdActionLockElsewhere() {
    sim.putFile(kActionLockPath, "");
    sim.lockFile(kActionLockPath);
  }

  // The installed bytes at a path, or "<missing>".
  std::string installed(const std::string& path) const {
    const auto contents = sim.fileContents(path);
    return contents ? *contents : std::string("<missing>");
  }

  RecordingView view;
  TForm1 form;
};

} // namespace pqtest
