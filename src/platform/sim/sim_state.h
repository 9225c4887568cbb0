// The simulated machine's private state, shared by the sim's source files only.
//
// Files live on the host below the root folder; everything Windows keeps beside the bytes
// (attributes, locks, open handles and their sharing, 8.3 aliases) lives here, keyed by the
// lower-cased host path so that a lookup never depends on the case a caller used.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_os.h"
#include "platform/win_path.h"

namespace pq {
namespace sim {

bool containsCaseBlind(const std::string& text, const std::string& part);

// A Windows path taken apart against the host tree.
struct ResolvedPath {
  bool onDriveC = false;                    // "C:\..." (either separator, either case)
  std::string drive;                        // "C:" as the caller wrote it
  std::vector<std::string> components;      // normalised components as given
  std::vector<std::string> storedNames;     // the names found on disk (given text when missing)
  size_t existingDepth = 0;                 // how many leading components exist
  bool trailingSeparator = false;
  std::filesystem::path host;               // root / stored names

  bool exists() const { return onDriveC && existingDepth == components.size(); }
  bool parentExists() const { return onDriveC && existingDepth + 1 >= components.size(); }
  // ERROR_FILE_NOT_FOUND when only the last component is missing, else PATH_NOT_FOUND.
  uint32_t missingError() const;
};

struct LockState {
  int releaseAfterFailedDeletes = 0;
  int failedDeletes = 0;
};

// One open handle, for the sharing rules between handles and against deletion.
struct OpenHandle {
  bool canRead = false;
  bool canWrite = false;
  bool sharesRead = false;
  bool sharesWrite = false;
};

struct FailureRule {
  std::string call;
  uint32_t error = 0;
  std::string pathContains;
  int skip = 0;
  int times = 1; // -1: every matching call
};

struct RegistryNode {
  std::string name; // as created
  std::map<std::string, std::unique_ptr<RegistryNode>> subkeys;            // by lower-cased name
  std::map<std::string, std::pair<std::string, std::string>> values;      // lower -> (name, data)
};

// A file's creation and last-write times, in FILETIME units.
struct FileTimes {
  uint64_t creation = 0;
  uint64_t lastWrite = 0;
};

// The simulated clock starts at 2026-01-01 00:00 UTC (in FILETIME units), an hour after the
// machine started.
constexpr uint64_t kStartTime = 134116992000000000ull;
constexpr uint64_t kTicksPerMillisecond = 10000;
constexpr uint64_t kTicksPerSecond = 1000 * kTicksPerMillisecond;

struct TopLevelWindow {
  std::string title;
  bool closesOnCancel = true;
  bool open = true;
};

} // namespace sim

struct SimOs::State {
  std::filesystem::path root;
  std::map<std::string, uint32_t> attributes;  // absent: FILE_ATTRIBUTE_ARCHIVE
  std::map<std::string, sim::FileTimes> times; // absent: made now
  uint64_t clock = sim::kStartTime;
  uint64_t bootTime = sim::kStartTime - 3600 * sim::kTicksPerSecond;
  std::map<std::string, sim::LockState> locks;
  std::multimap<std::string, const sim::OpenHandle*> openHandles;
  // Per folder (lower-cased host path): lower-cased long name -> its 8.3 alias.
  std::map<std::string, std::map<std::string, std::string>> aliases;
  std::vector<sim::FailureRule> failures;
  sim::RegistryNode registryRoot;
  std::map<WindowHandle, sim::TopLevelWindow> windows;
  WindowHandle nextWindow = 0x1000;

  static std::string key(const std::filesystem::path& host) { return asciiLower(host.string()); }

  sim::ResolvedPath resolve(const std::string& windowsPath);
  // The name of an existing entry of `folder` matching `name` by its long name or alias.
  std::optional<std::string> findEntry(const std::filesystem::path& folder, const std::string& name);
  // Gives every entry of `folder` that is not a valid 8.3 name an alias, and forgets the
  // aliases of entries that are gone.
  void assignAliases(const std::filesystem::path& folder);
  std::string aliasOf(const std::filesystem::path& folder, const std::string& storedName);
  void forgetFile(const std::filesystem::path& host);

  uint32_t attributesOf(const std::filesystem::path& host) const;
  sim::FileTimes timesOf(const std::filesystem::path& host) const;
  // A file made now, or written to now.
  void stampCreated(const std::filesystem::path& host) { times[key(host)] = sim::FileTimes{clock, clock}; }
  void stampWritten(const std::filesystem::path& host);
  bool readOnly(const std::filesystem::path& host) const { return (attributesOf(host) & kFileAttributeReadOnly) != 0; }
  bool locked(const std::filesystem::path& host) const { return locks.count(key(host)) != 0; }
  // Whether a new open with this access and sharing conflicts with the handles already open
  // (or with a lock, which acts like a foreign handle that shares nothing).
  bool sharingConflict(const std::filesystem::path& host, const sim::OpenHandle& wanted) const;
  bool anyOpenHandle(const std::filesystem::path& host) const;
};

namespace sim {
bool isValidShortName(const std::string& name);
// The alias Windows would generate for `longName` with the uniqueness number `number`.
std::string generatedAlias(const std::string& longName, int number);
// Win32 rejects these characters in a file name (ERROR_INVALID_NAME).
bool isCreatableName(const std::string& name);
// FindFirstFile's pattern match, case-blind: '*' stands for any run of characters, '?' for one.
bool matchesPattern(const std::string& name, const std::string& pattern);
std::optional<std::string> readHostFile(const std::filesystem::path& host);
bool writeHostFile(const std::filesystem::path& host, const std::string& bytes);
} // namespace sim

} // namespace pq
