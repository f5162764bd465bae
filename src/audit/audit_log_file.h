#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audit/audit_chain.h"  // tamper-evidence side file
#include "platform/file_system.h"

namespace talmor {

// The audit log pair in the Windows directory: "\QUORVANE.LOG" holds the event records back to
// back (five zero-terminated texts each: date, time, source, user, description), "\QUORVANE.IDX"
// a 16-byte header (version 0x00010000, entry size 8, event count, flags; bit 0 = compaction
// pending) and one 8-byte entry (offset, length, reserved) per live event, oldest first.
//
// A short-lived object: construct, optionally SetMaxEvents/SetOverwrite, one operation, destroy.
// Construction opens and locks both files exclusively, waiting up to 2 seconds for another holder;
// when that fails the object is failed() and every operation does nothing. Operations on an open
// pair raise FileException when the platform refuses a seek, read, write or truncation.
//
// A damaged pair heals instead of losing or forging events. An index that is missing, shorter
// than its header (or than the count in its header), or longer than the data file could justify
// is rebuilt from the data file at the first operation: the newest whole records, up to
// maxEvents, become the live events in file order, and compaction becomes pending. Before an
// append, a removal or a compaction, entries whose record does not lie wholly inside the data
// file are dropped, whole records past the newest live one (their entries lost) are taken back,
// and a partial record at the end (a cut or torn write) is cut off, so a new record never
// overlaps a live one and always starts on a record boundary.
class AuditLogFile {
 public:
  static constexpr uint32_t kVersion = 0x00010000;
  static constexpr uint32_t kEntrySize = 8;
  static constexpr uint32_t kHeaderSize = 16;
  static constexpr uint32_t kFlagCompactionPending = 0x1;
  static constexpr uint32_t kMaxRecordLength = 0xFFFF;
  // Every record written holds at least the five zero bytes of its texts; an entry for fewer
  // bytes holds no event.
  static constexpr uint32_t kMinRecordLength = 5;

  AuditLogFile();
  ~AuditLogFile();
  AuditLogFile(const AuditLogFile&) = delete;
  AuditLogFile& operator=(const AuditLogFile&) = delete;

  void SetMaxEvents(uint32_t max_events) { max_events_ = max_events; }
  void SetOverwrite(bool overwrite) { overwrite_ = overwrite; }

  // Records one event stamped with the current local date and time. When the log holds
  // maxEvents or more, drops the oldest event first if overwrite is on (one per append) and
  // returns false otherwise. Fields too long for a 65,535-byte record are shortened, the
  // description first, then the source: the date, time and user are kept whole. A text ends at
  // its first zero byte.
  bool AppendEvent(std::string_view source, std::string_view user, std::string_view description);
  // The number of live events; 0 when failed.
  uint32_t EventCount() {
    Heal();
    return event_count_;
  }
  // Reads event `index` (0 = oldest). False, with the five texts empty, when there is no such
  // event or its record cannot be read in full.
  bool ReadEvent(uint32_t index, std::string& date, std::string& time, std::string& source,
                 std::string& user, std::string& description);
  // Drops index entry `index`; its record stays in the data file until compaction (the newest
  // record is cut off at once, so that it cannot be taken back as one whose entry was lost).
  bool RemoveEvent(uint32_t index);
  // Empties both files; the compaction-pending flag is kept.
  void Clear();
  // When compaction is pending, rewrites the data file with the live records only and clears the
  // flag. The pair stays consistent whatever fails; a failed delete or rename raises.
  void Compact();

  bool failed() const { return failed_; }
  // The header's flags as last read or written (a rebuild writes them at the first operation).
  uint32_t flags() const { return flags_; }

 private:
  struct IndexEntry {
    uint32_t offset = 0;
    uint16_t length = 0;
    uint64_t end() const { return uint64_t{offset} + length; }
    // True when the entry can hold a record and lies wholly inside `data_length` bytes.
    bool Inside(uint64_t data_length) const {
      return length >= kMinRecordLength && end() <= data_length;
    }
    bool operator==(const IndexEntry&) const = default;
  };

  void OpenPair();
  bool TryOpenPair(std::chrono::steady_clock::time_point deadline, bool& retry);
  bool RecoverInterruptedCompaction();
  void InitializePair();
  void WriteHeader();
  void CloseFiles() noexcept;
  // Runs a rebuild decided at opening; a rebuild that fails leaves the object failed.
  void Heal();
  void RebuildIndex();
  // True when the newest entry's record ends exactly where the data file does (the usual state).
  bool NewestEndsTheData();
  std::vector<IndexEntry> ReadEntries();
  // Drops entries outside the data file, takes back whole records past the newest live one (and
  // past `covered`), cuts off what follows the last whole record and keeps at most maxEvents or
  // the entries already live. True when it changed `entries` or the data file.
  bool Repair(std::vector<IndexEntry>& entries, uint64_t covered);
  // Repair before an append or a compaction; costs one comparison when the pair is sound.
  void RepairBeforeWrite();
  // Writes the header and `entries` in one write from the start of the index and cuts what
  // follows.
  void StoreIndex(const std::vector<IndexEntry>& entries, uint32_t flags);

  std::string directory_;
  std::string log_path_;
  std::string idx_path_;

  std::unique_ptr<File> log_;
  std::unique_ptr<File> idx_;
  // The hash chain beside the pair (QUORVANE.SIG): one step per append, removal and clear.
  std::unique_ptr<AuditChain> chain_;

  bool overwrite_ = true;
  uint32_t max_events_ = 1000;
  bool failed_ = false;
  // Set at opening when the index must be rebuilt from the data file (done by Heal).
  bool rebuild_pending_ = false;

  // The in-memory header. event_count_ never exceeds the entries present in the index file.
  uint32_t version_ = kVersion;
  uint32_t entry_size_ = kEntrySize;
  uint32_t event_count_ = 0;
  uint32_t flags_ = 0;
  // Lengths of the index and data files as last read or written.
  uint64_t idx_length_ = 0;
  uint64_t log_length_ = 0;
  // The newest live entry as last read or written (meaningful when event_count_ > 0).
  IndexEntry newest_;
  // True while both files are positioned at their ends (just opened), so an append need not seek.
  bool at_ends_ = false;
};

}  // namespace talmor
