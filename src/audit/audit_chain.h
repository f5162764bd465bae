#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/crypto.h"
#include "platform/file_system.h"

namespace talmor {

// The audit trail's hash chain, kept beside the log pair in "\QUORVANE.SIG" so that the .LOG and
// .IDX formats stay as they are. The side file is a 16-byte header ("QVSIG\0\0\1", record size,
// reserved) followed by fixed 80-byte records, each describing one step of the pair's history:
//
//   offset size  field
//        0    1  type: 'A' anchor (the chain's start), 'L' link (an appended event),
//                'C' checkpoint (events removed by the library), 'S' seal
//        1    1  reason (anchors and checkpoints; see ChainReason)
//        4    4  live: the pair's event count after this step
//        8    4  a: L the record's offset at append; C the first position removed
//       12    4  b: L the record's length; C the number removed; A events removed by a clear
//       16    8  time of the step, seconds since 1970 (UTC)
//       24    8  appended: events linked since the chain started (this one included)
//       32    8  removed: events removed by checkpoints since the chain started
//       40    8  A unlinked events (the pair's events when the chain started); S the epoch
//       48   32  A the chain value; L, C the chain value after this step; S the seal
//
// The chain value after a step is SHA-256(previous value, bytes 0-47 of the step, and for a link
// the event's record bytes). A seal is HMAC-SHA-256 under that epoch's key of "seal", the chain
// value it covers and bytes 0-47 of the seal record.
//
// Sealing is on while "\QUORVANE.KEY" exists (64 bytes: "QVK1", epoch length in seconds, the
// key's start time, the current epoch, 8 reserved bytes, the key). Epoch n covers
// [start + n * length, start + (n + 1) * length); times before the start count as epoch 0. The
// key of epoch n + 1 is SHA-256("QUORVANE seal key", key of epoch n); the key file is rewritten in
// place when the key moves on, so earlier keys are gone. The events of an epoch are sealed with
// that epoch's key: at the first step of a later epoch (before the key moves on) and at log-off.
enum class ChainReason : uint8_t {
  kNone = 0,
  kStart = 1,       // A: the chain started on a pair that had no side file
  kRemoval = 2,     // C: an event dropped by the library (the oldest, when the log is full)
  kClear = 3,       // C, A: Clear All Events
  kCompaction = 4,  // A: the side file compacted with the pair
  kRepair = 5,      // C: an entry dropped while a damaged index was repaired
};

struct ChainRecord {
  static constexpr size_t kSize = 80;
  static constexpr size_t kFieldsSize = 48;
  char type = 0;
  ChainReason reason = ChainReason::kNone;
  uint32_t live = 0;
  uint32_t a = 0;
  uint32_t b = 0;
  uint64_t time = 0;
  uint64_t appended = 0;
  uint64_t removed = 0;
  uint64_t extra = 0;
  Digest digest{};

  void Encode(unsigned char* out) const;
  static ChainRecord Decode(const unsigned char* in);
  // Bytes 0-47 as hashed.
  std::string Fields() const;
};

// The sealing key file's content.
struct SealingKey {
  static constexpr size_t kSize = 64;
  uint32_t epoch_seconds = 900;
  uint64_t start = 0;
  uint64_t epoch = 0;
  Digest key{};

  uint64_t EpochAt(uint64_t time) const {
    return time < start || epoch_seconds == 0 ? 0 : (time - start) / epoch_seconds;
  }
  // The key `steps` epochs later.
  static Digest Evolve(Digest key, uint64_t steps);
};

// Writes the chain. Every call is made under the pair's locks with `live`, the pair's event count
// before the operation; the side file is opened at the first call and closed with the object.
// A step is written before the pair changes: if the pair's change then fails, the step is the
// side file's last record and describes a count the pair never reached, which the next writer
// removes and the verifier reports as an interrupted write. Failures raise FileException, as the
// pair's own writes do. A side file whose header is not this format is left alone (not written).
class AuditChain {
 public:
  explicit AuditChain(std::string directory);
  ~AuditChain();
  AuditChain(const AuditChain&) = delete;
  AuditChain& operator=(const AuditChain&) = delete;

  // An event about to be appended: its 8-byte index entry and its record.
  void BeforeAppend(uint32_t live, const unsigned char* entry, const char* record, size_t length);
  // `count` events from `position` about to be dropped from the index. The index repair calls it
  // with ChainReason::kRepair for each entry it drops.
  void BeforeRemove(uint32_t live, uint32_t position, uint32_t count, ChainReason reason);
  // Clear All Events; AfterClear compacts the side file once the pair is empty.
  void BeforeClear(uint32_t live);
  void AfterClear();
  // Log-off: seals what is not sealed yet, then drops the steps of events no longer in the pair.
  // Best effort: the side file is equivalent before and after.
  void AtLogoff(uint32_t live);

  // Creates the sealing key in `directory` (its start: now; its epoch length: `epoch_seconds`)
  // and returns the verification key text; fails when a key exists. The pair is locked and its
  // events so far sealed with the first epoch's key.
  static std::string CreateSealingKey(const std::string& directory, uint32_t epoch_seconds);

 private:
  bool Open(uint32_t live);
  bool ReadTail();
  void Write(const ChainRecord& record);
  void Chain(ChainRecord record, std::string_view extra = {});
  void SealIfDue(bool at_logoff);
  void Rewrite();

  std::string directory_;
  std::string path_;
  std::unique_ptr<File> file_;
  bool opened_ = false;
  bool usable_ = false;
  uint64_t length_ = 0;
  // True while the side file is positioned at its end, where the next step goes.
  bool at_end_ = false;
  // The last chain step (not a seal) and whether a seal follows it.
  ChainRecord head_;
  bool sealed_ = false;
};

// What the verifier found.
enum class ChainProblem {
  kNone,
  kChanged,        // the event at `position` is not the one linked there
  kInserted,       // an event inserted at `position`
  kRemoved,        // the event that was at `position` removed outside the library
  kReordered,      // the events at `position` and the next one swapped
  kUnlinked,       // events from `position` on are not in the side file (added, or the side file cut)
  kSideFile,       // the side file itself was edited
  kSeal,           // a seal does not match (events before it changed, or a wrong key)
  kLaterKey,       // events sealed with a later epoch's key than their own
};

struct ChainReport {
  enum class Status { kIntact = 0, kTampered = 1, kUnreadable = 2 };
  Status status = Status::kIntact;
  bool side_file = true;
  uint32_t events = 0;
  ChainProblem problem = ChainProblem::kNone;
  int64_t position = -1;  // 0 = oldest event; -1 when the problem is not at an event
  std::string date, time, user;  // of the event at `position`, when readable
  std::string detail;             // short plain text
  std::vector<std::string> removals;  // legitimate removals, one line each
  std::vector<std::string> warnings;
  uint32_t unlinked = 0;  // events older than the chain
  uint32_t seals = 0;
  bool seals_checked = false;
  uint64_t last_seal_time = 0;
  uint32_t after_last_seal = 0;  // events appended after the last seal
};

// "YYYY-MM-DD hh:mm:ss UTC" for seconds since 1970.
std::string ChainTimeText(uint64_t seconds);

// Verifies the pair and the side file in `directory` under the pair's locks. `verification_key`
// is the text CreateSealingKey returned; without it seals are counted but not checked.
ChainReport VerifyAuditChain(const std::string& directory,
                             const std::optional<std::string>& verification_key);

}  // namespace talmor
