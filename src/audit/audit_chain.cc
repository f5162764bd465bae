#include "audit/audit_chain.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>

#include "audit/audit_chain_files.h"
#include "platform/data_directory.h"
#include "platform/file_exception.h"
#include "platform/local_time.h"

namespace talmor {

namespace chain_files {

void Put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void Put64(unsigned char* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
uint32_t Get32(const unsigned char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | p[i];
  return v;
}
uint64_t Get64(const unsigned char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

uint64_t Now() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::seconds>(CurrentTime().time_since_epoch()).count());
}

std::string Header() {
  std::string h(kMagic, sizeof kMagic);
  unsigned char rest[8] = {};
  Put32(rest, ChainRecord::kSize);
  h.append(reinterpret_cast<const char*>(rest), sizeof rest);
  return h;
}

bool ReadSealingKey(File& file, SealingKey& out) {
  unsigned char raw[SealingKey::kSize];
  file.Seek(0);
  const bool ok = file.Read(raw, sizeof raw) == sizeof raw && std::memcmp(raw, kKeyMagic, 4) == 0;
  if (ok) {
    out.epoch_seconds = Get32(raw + 4);
    out.start = Get64(raw + 8);
    out.epoch = Get64(raw + 16);
    std::memcpy(out.key.data(), raw + 32, out.key.size());
  }
  WipeBytes(raw, sizeof raw);
  return ok;
}

void WriteSealingKey(File& file, const SealingKey& key) {
  unsigned char raw[SealingKey::kSize] = {};
  std::memcpy(raw, kKeyMagic, 4);
  Put32(raw + 4, key.epoch_seconds);
  Put64(raw + 8, key.start);
  Put64(raw + 16, key.epoch);
  std::memcpy(raw + 32, key.key.data(), key.key.size());
  try {
    file.Seek(0);
    file.Write(raw, sizeof raw);
    file.Sync();
  } catch (...) {
    WipeBytes(raw, sizeof raw);
    throw;
  }
  WipeBytes(raw, sizeof raw);
}

Digest SealOf(const Digest& key, const Digest& head, const ChainRecord& seal) {
  return HmacSha256(key, {"seal", View(head), seal.Fields()});
}

PairLock::PairLock(const std::string& directory, bool create) {
  FileSystem& fs = FileSystem::Default();
  const std::string idx_path = JoinDataPath(directory, kIdxName);
  const std::string log_path = JoinDataPath(directory, kLogName);
  const OpenMode mode = create ? OpenMode::kOpenOrCreate : OpenMode::kRead;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2000);
  for (int attempt = 0; attempt < 64; ++attempt) {
    if (!create && !(fs.GetStatus(idx_path) && fs.GetStatus(log_path))) return;
    idx = fs.Open(idx_path, mode);
    log = fs.Open(log_path, mode);
    auto remaining = std::max(std::chrono::milliseconds(0),
                              std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now()));
    // The data file first, as AuditLogFile locks them.
    if (!log->LockExclusive(remaining) || !idx->LockExclusive(remaining)) {
      throw FileException(FileException::Cause::kSharingViolation, idx_path, 0,
                          "the audit log is in use");
    }
    if (idx->IsAtPath(idx_path)) return;
    idx.reset();
    log.reset();
  }
  throw FileException(FileException::Cause::kSharingViolation, idx_path, 0,
                      "the audit log is in use");
}

uint32_t PairLock::EventCount() {
  if (!idx) return 0;
  unsigned char header[16];
  idx->Seek(0);
  if (idx->Read(header, sizeof header) < sizeof header) return 0;
  const uint64_t present = (idx->Length() - 16) / 8;
  if (log->Length() == 0) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(Get32(header + 8), present));
}

}  // namespace chain_files

using namespace chain_files;

namespace {

// The schedule (never the key) of the key file last read in this process, with the file's size
// and modification time then: while both stay, the file has not moved on, and an append in an
// epoch that needs no seal does not open it. The schedule only lags the file, so at worst the
// file is opened when nothing was due.
struct KnownSchedule {
  std::string path;
  FileStatus status;
  SealingKey schedule;
};
std::mutex g_known_mutex;
std::optional<KnownSchedule> g_known;

bool KnownNotDue(const std::string& path, const FileStatus& status) {
  std::lock_guard<std::mutex> lock(g_known_mutex);
  return g_known && g_known->path == path && g_known->status.size == status.size &&
         g_known->status.modified == status.modified &&
         g_known->schedule.EpochAt(Now()) <= g_known->schedule.epoch;
}

void Remember(const std::string& path, const FileStatus& status, SealingKey schedule) {
  WipeBytes(schedule.key.data(), schedule.key.size());
  std::lock_guard<std::mutex> lock(g_known_mutex);
  g_known = KnownSchedule{path, status, schedule};
}

}  // namespace

void ChainRecord::Encode(unsigned char* out) const {
  std::memset(out, 0, kSize);
  out[0] = static_cast<unsigned char>(type);
  out[1] = static_cast<unsigned char>(reason);
  Put32(out + 4, live);
  Put32(out + 8, a);
  Put32(out + 12, b);
  Put64(out + 16, time);
  Put64(out + 24, appended);
  Put64(out + 32, removed);
  Put64(out + 40, extra);
  std::memcpy(out + kFieldsSize, digest.data(), digest.size());
}

ChainRecord ChainRecord::Decode(const unsigned char* in) {
  ChainRecord r;
  r.type = static_cast<char>(in[0]);
  r.reason = static_cast<ChainReason>(in[1]);
  r.live = Get32(in + 4);
  r.a = Get32(in + 8);
  r.b = Get32(in + 12);
  r.time = Get64(in + 16);
  r.appended = Get64(in + 24);
  r.removed = Get64(in + 32);
  r.extra = Get64(in + 40);
  std::memcpy(r.digest.data(), in + kFieldsSize, r.digest.size());
  return r;
}

std::string ChainRecord::Fields() const {
  unsigned char raw[kSize];
  Encode(raw);
  return std::string(reinterpret_cast<const char*>(raw), kFieldsSize);
}

Digest SealingKey::Evolve(Digest key, uint64_t steps) {
  for (uint64_t i = 0; i < steps; ++i) {
    const Digest next = Sha256({"QUORVANE seal key", View(key)});
    WipeBytes(key.data(), key.size());
    key = next;
  }
  return key;
}

AuditChain::AuditChain(std::string directory)
    : directory_(std::move(directory)), path_(JoinDataPath(directory_, kSigName)) {}

AuditChain::~AuditChain() {
  if (file_) {
    try {
      file_->Close();
    } catch (...) {
    }
  }
}

// Opens the side file at the first step, starts a chain when there is none, and removes a last
// step that the pair never reached (an interrupted write).
bool AuditChain::Open(uint32_t live) {
  if (opened_) return usable_;
  opened_ = true;
  file_ = FileSystem::Default().Open(path_, OpenMode::kOpenOrCreate);
  length_ = file_->Length();
  const std::string header = Header();
  if (length_ < kHeaderSize + ChainRecord::kSize) {
    // No chain yet, or the beginning of one whose first write was cut short: start one. Other
    // short contents are not ours to overwrite.
    std::string start(std::min<uint64_t>(length_, kHeaderSize), '\0');
    file_->Seek(0);
    if (file_->Read(start.data(), start.size()) != start.size() ||
        header.compare(0, start.size(), start) != 0) {
      return false;
    }
    ChainRecord anchor;
    anchor.type = 'A';
    anchor.reason = ChainReason::kStart;
    anchor.live = live;
    anchor.time = Now();
    anchor.extra = live;
    unsigned char raw[ChainRecord::kSize];
    anchor.Encode(raw);
    std::string bytes = header + std::string(reinterpret_cast<const char*>(raw), sizeof raw);
    file_->Seek(0);
    at_end_ = false;
    file_->Write(bytes.data(), bytes.size());
    length_ = bytes.size();
    at_end_ = true;
    head_ = anchor;
    sealed_ = false;
    usable_ = true;
    return true;
  }
  std::string found(kHeaderSize, '\0');  // read from the start, where opening left the file
  if (file_->Read(found.data(), found.size()) != found.size() || found != header) {
    return false;  // not ours to write: the verifier reports it
  }
  // A record cut short by an interrupted write goes.
  const uint64_t whole = kHeaderSize + (length_ - kHeaderSize) / ChainRecord::kSize * ChainRecord::kSize;
  if (whole != length_) {
    file_->SetLength(whole);
    length_ = whole;
  }
  if (!ReadTail()) return false;
  if (!sealed_ && head_.type != 'A' && head_.live != live && LiveBefore(head_) == live) {
    file_->SetLength(length_ - ChainRecord::kSize);
    length_ -= ChainRecord::kSize;
    if (!ReadTail()) return false;
  }
  usable_ = true;
  return true;
}

// Finds the last chain step and whether a seal follows it; false when there is none.
bool AuditChain::ReadTail() {
  sealed_ = false;
  constexpr uint64_t kChunk = 16;
  uint64_t end = length_;
  while (end > kHeaderSize) {
    const uint64_t records = std::min<uint64_t>(kChunk, (end - kHeaderSize) / ChainRecord::kSize);
    std::vector<unsigned char> raw(records * ChainRecord::kSize);
    file_->Seek(end - raw.size());
    if (file_->Read(raw.data(), raw.size()) != raw.size()) break;
    at_end_ = end == length_;
    for (uint64_t i = records; i-- > 0;) {
      const ChainRecord r = ChainRecord::Decode(raw.data() + i * ChainRecord::kSize);
      if (r.type == 'S') {
        sealed_ = true;
        continue;
      }
      head_ = r;
      return true;
    }
    end -= raw.size();
  }
  return false;
}

void AuditChain::Write(const ChainRecord& record) {
  unsigned char raw[ChainRecord::kSize];
  record.Encode(raw);
  if (!at_end_) file_->Seek(length_);
  at_end_ = false;
  file_->Write(raw, sizeof raw);
  length_ += sizeof raw;
  at_end_ = true;
}

// Appends a chain step after the head: its counters follow on from the head's, its value is
// computed here.
void AuditChain::Chain(ChainRecord record, std::string_view extra) {
  record.time = Now();
  if (record.appended == 0) record.appended = head_.appended;
  if (record.removed == 0) record.removed = head_.removed;
  record.digest = Sha256({View(head_.digest), record.Fields(), extra});
  Write(record);
  head_ = record;
  sealed_ = false;
}

// With a sealing key: seals the head with the key's epoch when that epoch is over (or at log-off),
// then moves the key on to the current epoch.
void AuditChain::SealIfDue(bool at_logoff) {
  FileSystem& fs = FileSystem::Default();
  const std::string key_path = JoinDataPath(directory_, kKeyName);
  const std::optional<FileStatus> status = fs.GetStatus(key_path);
  if (!status) return;  // no key: sealing is off
  if (!at_logoff && KnownNotDue(key_path, *status)) return;
  std::unique_ptr<File> key_file;
  try {
    key_file = fs.Open(key_path, OpenMode::kReadWrite);
  } catch (const FileException&) {
    return;  // removed meanwhile, or not ours to open: sealing is off
  }
  SealingKey key;
  if (!ReadSealingKey(*key_file, key)) return;
  const uint64_t now = Now();
  const uint64_t current = key.EpochAt(now);
  if (!sealed_ && (at_logoff || current > key.epoch)) {
    ChainRecord seal;
    seal.type = 'S';
    seal.live = head_.live;
    seal.time = now;
    seal.appended = head_.appended;
    seal.removed = head_.removed;
    seal.extra = key.epoch;
    seal.digest = SealOf(key.key, head_.digest, seal);
    Write(seal);
    sealed_ = true;
  }
  const bool evolve = current > key.epoch;
  if (evolve) {
    key.key = SealingKey::Evolve(key.key, current - key.epoch);
    key.epoch = current;
    WriteSealingKey(*key_file, key);
  }
  WipeBytes(key.key.data(), key.key.size());
  if (auto now_status = evolve ? fs.GetStatus(key_path) : status) {
    Remember(key_path, *now_status, key);
  }
}

void AuditChain::BeforeAppend(uint32_t live, const unsigned char* entry, const char* record,
                              size_t length) {
  if (!Open(live)) return;
  SealIfDue(false);
  ChainRecord link;
  link.type = 'L';
  link.live = live + 1;
  link.a = Get32(entry);
  link.b = static_cast<uint32_t>(entry[4] | entry[5] << 8);
  link.appended = head_.appended + 1;
  Chain(link, std::string_view(record, length));
}

void AuditChain::BeforeRemove(uint32_t live, uint32_t position, uint32_t count,
                              ChainReason reason) {
  if (!Open(live)) return;
  SealIfDue(false);
  ChainRecord checkpoint;
  checkpoint.type = 'C';
  checkpoint.reason = reason;
  checkpoint.live = live - std::min(live, count);
  checkpoint.a = position;
  checkpoint.b = count;
  checkpoint.removed = head_.removed + count;
  Chain(checkpoint);
}

void AuditChain::BeforeClear(uint32_t live) { BeforeRemove(live, 0, live, ChainReason::kClear); }

void AuditChain::AfterClear() {
  if (!usable_) return;
  try {
    Rewrite();
  } catch (const FileException&) {
    // The side file keeps its steps; it describes the pair just as well.
  }
}

void AuditChain::AtLogoff(uint32_t live) {
  if (!Open(live)) return;
  SealIfDue(true);
  try {
    Rewrite();
  } catch (const FileException&) {
  }
}

// Compacts the side file: the steps before the oldest event's link go, replaced by an anchor that
// carries the chain value and the counters across. Written beside it and renamed over it, so the
// side file is the old one or the new one, which verify alike.
void AuditChain::Rewrite() {
  std::vector<unsigned char> raw(length_ - kHeaderSize);
  at_end_ = false;
  file_->Seek(kHeaderSize);
  if (file_->Read(raw.data(), raw.size()) != raw.size()) return;
  const size_t count = raw.size() / ChainRecord::kSize;
  std::vector<ChainRecord> records(count);
  for (size_t i = 0; i < count; ++i) records[i] = ChainRecord::Decode(raw.data() + i * ChainRecord::kSize);
  const ChainModel model = ReplayChain(records);
  if (!model.consistent) return;  // the verifier has something to show: keep it
  size_t first = count;
  for (int64_t link : model.live) {
    if (link >= 0) {
      first = static_cast<size_t>(link);
      break;
    }
  }
  if (first <= 1) return;  // nothing to drop
  // A checkpoint that no longer matches its value is evidence: it is not compacted away.
  Digest value = records[0].digest;
  for (size_t i = 1; i < first; ++i) {
    if (records[i].type == 'C' && Sha256({View(value), records[i].Fields()}) != records[i].digest) {
      return;
    }
    if (records[i].type != 'S') value = records[i].digest;
  }
  // Every event live before `first` loses its link: it becomes an event without one.
  const uint64_t placeholders = first < count ? model.live_before[first] : model.live.size();
  // The chain step just before `first` (seals are skipped) gives the value carried across.
  size_t last = first - 1;
  while (last > 0 && records[last].type == 'S') --last;
  const ChainRecord& before = records[last];
  ChainRecord anchor;
  anchor.type = 'A';
  anchor.reason = ChainReason::kCompaction;
  if (before.type == 'C' && before.reason == ChainReason::kClear) {
    anchor.reason = ChainReason::kClear;
    anchor.b = before.b;
  }
  anchor.live = static_cast<uint32_t>(placeholders);
  anchor.time = before.time;
  anchor.appended = before.appended;
  anchor.removed = before.removed;
  anchor.extra = placeholders;
  anchor.digest = before.digest;

  std::string bytes = Header();
  unsigned char encoded[ChainRecord::kSize];
  anchor.Encode(encoded);
  bytes.append(reinterpret_cast<const char*>(encoded), sizeof encoded);
  bytes.append(reinterpret_cast<const char*>(raw.data()) + first * ChainRecord::kSize,
               (count - first) * ChainRecord::kSize);
  FileSystem& fs = FileSystem::Default();
  const std::string new_path = JoinDataPath(directory_, kNewSigName);
  {
    std::unique_ptr<File> out = fs.Open(new_path, OpenMode::kCreateTruncate);
    out->Write(bytes.data(), bytes.size());
    out->Sync();
    out->Close();
  }
  file_->Close();
  file_.reset();
  opened_ = false;
  usable_ = false;
  fs.Rename(new_path, path_);
}

std::string AuditChain::CreateSealingKey(const std::string& directory, uint32_t epoch_seconds) {
  FileSystem& fs = FileSystem::Default();
  PairLock lock(directory, true);
  std::unique_ptr<File> file = fs.Open(JoinDataPath(directory, kKeyName), OpenMode::kCreateNew);
  SealingKey key;
  key.epoch_seconds = epoch_seconds;
  key.start = Now();
  RandomBytes(key.key.data(), key.key.size());
  const std::string verification = HexOf(key.key) + "-" + std::to_string(key.start) + "-" +
                                   std::to_string(epoch_seconds);
  WriteSealingKey(*file, key);
  WipeBytes(key.key.data(), key.key.size());
  file->Close();
  // The events so far are sealed with the first epoch's key: the seal closing epoch 0 covers
  // them, and nobody can later claim them for a later epoch.
  AuditChain chain(directory);
  chain.AtLogoff(lock.EventCount());
  return verification;
}

}  // namespace talmor

namespace talmor::chain_files {

std::string HexOf(const Digest& d) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : d) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

ChainModel ReplayChain(const std::vector<ChainRecord>& records) {
  ChainModel m;
  m.live_before.resize(records.size());
  uint64_t appended = 0;
  uint64_t removed = 0;
  for (size_t i = 0; i < records.size() && m.consistent; ++i) {
    const ChainRecord& r = records[i];
    m.live_before[i] = m.live.size();
    bool ok = true;
    switch (r.type) {
      case 'A':
        ok = i == 0 && r.extra <= kMaxAnchorEvents;
        if (ok) m.live.assign(r.extra, -1);
        appended = r.appended;
        removed = r.removed;
        break;
      case 'L':
        ok = i > 0 && r.appended == ++appended && r.removed == removed;
        m.live.push_back(static_cast<int64_t>(i));
        break;
      case 'C':
        ok = i > 0 && uint64_t{r.a} + r.b <= m.live.size() && r.removed == (removed += r.b) &&
             r.appended == appended;
        if (ok) m.live.erase(m.live.begin() + r.a, m.live.begin() + r.a + r.b);
        break;
      case 'S':
        ok = i > 0;
        break;
      default:
        ok = false;
    }
    if (!ok) {
      m.consistent = false;
      m.bad_record = i;
    }
  }
  return m;
}

}  // namespace talmor::chain_files
