#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/security_database.h"
#include "storage/security_options.h"

namespace talmor {

// The four database files, in the order in which they are loaded and saved. Each is looked up
// in the data directory (DataFilePath) afresh at every load and save.
inline constexpr std::string_view kOptionsFileName = "\\OPTIONS.REC";
inline constexpr std::string_view kRightsFileName = "\\RIGHTS.REC";
inline constexpr std::string_view kGroupsFileName = "\\GROUPS.REC";
inline constexpr std::string_view kUsersFileName = "\\USERS.REC";

// Beside the four files: the lock that serialises loads and saves between processes, and whose
// content and times change with every save, so that a process can tell cheaply that another one
// has saved.
inline constexpr std::string_view kLockFileName = "\\SECURITY.LCK";

class File;

// What a look at the lock file shows: equal stamps mean nobody saved in between. A missing lock
// file (nobody saved since it was introduced) is a stamp too.
struct DatabaseStamp {
  bool exists = false;
  std::uint64_t size = 0;
  std::chrono::system_clock::time_point modified{};
  std::chrono::system_clock::time_point changed{};

  bool operator==(const DatabaseStamp&) const = default;
};

// The stamp of the four files now: one status query of the lock file.
DatabaseStamp ReadDatabaseStamp();

// The exclusive lock on the four files, held while the object lives. Waits for another holder as
// the audit log does, for up to 10 seconds; `held()` is false when it could not be had in that
// time or the lock file could not be opened.
class DatabaseLock {
 public:
  DatabaseLock();
  ~DatabaseLock();
  DatabaseLock(const DatabaseLock&) = delete;
  DatabaseLock& operator=(const DatabaseLock&) = delete;

  bool held() const { return file_ != nullptr; }
  // Counts one more save in the lock file and moves its modification time past the one it had,
  // so that every stamp taken before differs from every stamp taken after. Raises FileException.
  void MarkSaved();

 private:
  std::unique_ptr<File> file_;
};

// The options merged field by field: a field this process changed since `base` is `ours`, every
// other one `theirs`.
SecurityOptions MergeOptions(const SecurityOptions& base, const SecurityOptions& ours,
                             const SecurityOptions& theirs);

// Reads the options, the groups granted each right, the groups and the users into `options` and
// `database`, which hold the defaults and the catalogue's rights beforehand. Never fails: a
// missing or unreadable file leaves its part as it was, a damaged one adds what can be read.
// New groups and users go to the front of their collections, so they end up in the reverse of
// file order.
void LoadSecurityDatabase(SecurityDatabase& database, SecurityOptions& options);

// Rewrites the four files from `options` and `database`, in order, each replaced in one step
// (RecordWriter). A failure raises FileException: the files before the failing one are already
// rewritten, the failing one and those after it are as they were.
void SaveSecurityDatabase(const SecurityDatabase& database, const SecurityOptions& options);

// A list value: each name followed by 0x02. Bytes 0x02 inside a name cannot be stored and are
// dropped from it, so that a reload neither splits nor merges names.
void AppendNameToList(std::string& list, std::string_view name);

// The names of a list value: the runs of bytes ended by 0x02, except empty ones. Bytes after the
// last 0x02 are not a name.
std::vector<std::string> SplitNameList(std::string_view list);

}  // namespace talmor
