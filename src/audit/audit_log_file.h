#pragma once

#include <cstdint>
#include <memory>
#include <string>

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
class AuditLogFile {
 public:
  static constexpr uint32_t kVersion = 0x00010000;
  static constexpr uint32_t kEntrySize = 8;
  static constexpr uint32_t kHeaderSize = 16;
  static constexpr uint32_t kFlagCompactionPending = 0x1;
  static constexpr uint32_t kMaxRecordLength = 0xFFFF;

  AuditLogFile();
  ~AuditLogFile();
  AuditLogFile(const AuditLogFile&) = delete;
  AuditLogFile& operator=(const AuditLogFile&) = delete;

  void SetMaxEvents(uint32_t max_events) { max_events_ = max_events; }
  void SetOverwrite(bool overwrite) { overwrite_ = overwrite; }

  // Records one event stamped with the current local date and time. When the log holds
  // maxEvents or more, drops the oldest event first if overwrite is on (one per append) and
  // returns false otherwise. A description too long for a 65,535-byte record is shortened.
  bool AppendEvent(const std::string& source, const std::string& user,
                   const std::string& description);
  // The number of live events; 0 when failed.
  uint32_t EventCount() const { return event_count_; }
  // Reads event `index` (0 = oldest). False, with the five texts empty, when there is no such
  // event or its record cannot be read in full.
  bool ReadEvent(uint32_t index, std::string& date, std::string& time, std::string& source,
                 std::string& user, std::string& description);
  // Drops index entry `index`; its record stays in the data file until compaction.
  bool RemoveEvent(uint32_t index);
  // Empties both files; the compaction-pending flag is kept.
  void Clear();
  // When compaction is pending, rewrites the data file with the live records only and clears the
  // flag. The pair stays consistent whatever fails; a failed delete or rename raises.
  void Compact();

  bool failed() const { return failed_; }
  uint32_t flags() const { return flags_; }

 private:
  void OpenPair();
  bool TryOpenPair(std::chrono::steady_clock::time_point deadline, bool& retry);
  bool RecoverInterruptedCompaction();
  void InitializePair();
  void WriteHeader();
  void CloseFiles() noexcept;

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

  // The in-memory header. event_count_ never exceeds the entries present in the index file.
  uint32_t version_ = kVersion;
  uint32_t entry_size_ = kEntrySize;
  uint32_t event_count_ = 0;
  uint32_t flags_ = 0;
  // Lengths of the index and data files as last read or written.
  uint64_t idx_length_ = 0;
  uint64_t log_length_ = 0;
  // True while both files are positioned at their ends (just opened), so an append need not seek.
  bool at_ends_ = false;
};

}  // namespace talmor
