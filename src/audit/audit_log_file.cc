#include "audit/audit_log_file.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <string_view>
#include <vector>

#include "platform/data_directory.h"
#include "platform/file_exception.h"
#include "platform/local_time.h"

namespace talmor {

namespace {

constexpr const char kLogName[] = "\\QUORVANE.LOG";
constexpr const char kIdxName[] = "\\QUORVANE.IDX";
constexpr const char kCompactionName[] = "\\QUORVANE.LO1";
// Compaction's index files: the new index, written beside the old one, and the old index while
// it is set aside during the replacement.
constexpr const char kNewIndexName[] = "\\QUORVANE.IX1";
constexpr const char kOldIndexName[] = "\\QUORVANE.IX0";

constexpr auto kLockWait = std::chrono::milliseconds(2000);

void Put32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

void Put16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

constexpr uint64_t kMaxOffset = 0xFFFFFFFFull;
constexpr uint64_t kMinRecordLength = AuditLogFile::kMinRecordLength;

struct Entry {
  uint32_t offset = 0;
  uint16_t length = 0;
};

Entry DecodeEntry(const unsigned char* p) { return Entry{Get32(p), Get16(p + 4)}; }

void EncodeEntry(unsigned char* p, const Entry& e) {
  Put32(p, e.offset);
  Put16(p + 4, e.length);
  Put16(p + 6, 0);
}

void EncodeHeader(unsigned char* p, uint32_t version, uint32_t entry_size, uint32_t count,
                  uint32_t flags) {
  Put32(p, version);
  Put32(p + 4, entry_size);
  Put32(p + 8, count);
  Put32(p + 12, flags);
}

bool Exists(FileSystem& fs, const std::string& path) { return fs.GetStatus(path).has_value(); }

void RemoveQuietly(FileSystem& fs, const std::string& path) noexcept {
  try {
    if (Exists(fs, path)) fs.Remove(path);
  } catch (...) {
  }
}

void CloseQuietly(std::unique_ptr<File>& file) noexcept {
  if (!file) return;
  try {
    file->Close();
  } catch (...) {
  }
  file.reset();
}

// The file at `path` opened for reading; null when it cannot be (a link or a FIFO in its place).
std::unique_ptr<File> OpenForReadingQuietly(FileSystem& fs, const std::string& path) {
  try {
    return fs.Open(path, OpenMode::kRead);
  } catch (const FileException&) {
    return nullptr;
  }
}

// True when `index` holds a header and entries that cover a data file of `data_length` bytes
// exactly, record after record from offset 0, as compaction writes them.
bool DescribesCompactedData(std::unique_ptr<File> index, uint64_t data_length) {
  if (index == nullptr) return false;
  const uint64_t length = index->Length();
  if (length >
      AuditLogFile::kHeaderSize + AuditLogFile::kEntrySize * (data_length / kMinRecordLength)) {
    return false;
  }
  std::vector<unsigned char> bytes(length);
  bytes.resize(index->Read(bytes.data(), bytes.size()));
  if (bytes.size() < AuditLogFile::kHeaderSize) return false;
  const uint64_t count = Get32(bytes.data() + 8);
  if (bytes.size() != AuditLogFile::kHeaderSize + AuditLogFile::kEntrySize * count) return false;
  uint64_t expected = 0;
  for (uint64_t i = 0; i < count; ++i) {
    const Entry e = DecodeEntry(bytes.data() + AuditLogFile::kHeaderSize + 8 * i);
    if (e.offset != expected) return false;
    expected += e.length;
  }
  return expected == data_length;
}

bool IsDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "04-Dec-2026", as appends stamp it.
bool IsDate(std::string_view f) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  return f.size() >= 11 && IsDigits(f.substr(0, 2)) && f[2] == '-' && letter(f[3]) &&
         letter(f[4]) && letter(f[5]) && f[6] == '-' && IsDigits(f.substr(7));
}

// "14:05:09".
bool IsTime(std::string_view f) {
  return f.size() == 8 && IsDigits(f.substr(0, 2)) && f[2] == ':' && IsDigits(f.substr(3, 2)) &&
         f[5] == ':' && IsDigits(f.substr(6, 2));
}

// Calls found(offset, length) for every whole record in [from, to) of `log`, in file order, and
// returns the end of the last one (`from` when there is none). A whole record is five
// zero-terminated texts of at most kMaxRecordLength bytes in all, the first a date and the second
// a time; bytes that do not begin one are passed over a text at a time. Records are written back
// to back, so one begins at `from` or right after a zero byte. Memory stays bounded: the file is
// read in windows.
template <typename Found>
uint64_t ScanRecords(File& log, uint64_t from, uint64_t to, Found&& found) {
  constexpr size_t kWindow = (size_t{1} << 20) + AuditLogFile::kMaxRecordLength;
  std::vector<char> window;
  uint64_t base = from;  // the file offset of window[0]
  size_t at = 0;
  uint64_t last_end = from;
  while (base + at < to) {
    const uint64_t pos = base + at;
    const size_t need =
        static_cast<size_t>(std::min<uint64_t>(to - pos, AuditLogFile::kMaxRecordLength));
    if (window.size() - at < need) {
      base = pos;
      at = 0;
      window.resize(static_cast<size_t>(std::min<uint64_t>(to - base, kWindow)));
      log.Seek(base);
      const size_t got = log.Read(window.data(), window.size());
      if (got < window.size()) to = base + got;  // the file is shorter than it was
      window.resize(got);
      continue;
    }
    const char* p = window.data() + at;
    if (*p == '\0') {
      // No record begins with a zero byte: a run of them (a hole) is passed over whole.
      size_t run = 1;
      while (at + run < window.size() && p[run] == '\0') ++run;
      at += run;
      continue;
    }
    size_t ends[5];
    int n = 0;
    for (const char* q = p; n < 5;) {
      const void* z = std::memchr(q, 0, static_cast<size_t>(p + need - q));
      if (z == nullptr) break;
      ends[n++] = static_cast<size_t>(static_cast<const char*>(z) - p);
      q = static_cast<const char*>(z) + 1;
    }
    if (n == 5 && IsDate(std::string_view(p, ends[0])) &&
        IsTime(std::string_view(p + ends[0] + 1, ends[1] - ends[0] - 1))) {
      found(pos, ends[4] + 1);
      at += ends[4] + 1;
      last_end = base + at;
    } else {
      at += n > 0 ? ends[0] + 1 : need;
    }
  }
  return last_end;
}

}  // namespace

AuditLogFile::AuditLogFile() {
  directory_ = WindowsDirectory();
  log_path_ = JoinDataPath(directory_, kLogName);
  idx_path_ = JoinDataPath(directory_, kIdxName);
  chain_ = std::make_unique<AuditChain>(directory_);  // hash chain step
  OpenPair();
}

AuditLogFile::~AuditLogFile() { CloseFiles(); }

void AuditLogFile::CloseFiles() noexcept {
  for (auto* file : {&log_, &idx_}) {
    if (!*file) continue;
    try {
      (*file)->Flush();
    } catch (...) {
    }
    CloseQuietly(*file);
  }
}

void AuditLogFile::OpenPair() {
  failed_ = false;
  rebuild_pending_ = false;
  newest_ = IndexEntry{};
  version_ = kVersion;
  entry_size_ = kEntrySize;
  event_count_ = 0;
  flags_ = 0;
  idx_length_ = 0;
  log_length_ = 0;
  at_ends_ = false;
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  // A retry follows when the files locked were replaced meanwhile (a compaction elsewhere) or
  // when an interrupted compaction was just completed; both are rare and bounded by the deadline.
  for (int attempt = 0; attempt < 64; ++attempt) {
    bool retry = false;
    bool opened = false;
    try {
      opened = TryOpenPair(deadline, retry);
    } catch (const FileException&) {
      opened = false;
      retry = false;
    }
    if (opened) return;
    CloseFiles();
    if (!retry || std::chrono::steady_clock::now() >= deadline) break;
  }
  failed_ = true;
  event_count_ = 0;
}

// Opens both files (creating a missing one empty, without truncating anything), locks both, and
// only then, under the locks, decides whether the pair is usable or must start empty. Two
// processes that find the pair missing therefore never truncate each other's work: the second
// one sees the header the first one wrote.
bool AuditLogFile::TryOpenPair(std::chrono::steady_clock::time_point deadline, bool& retry) {
  FileSystem& fs = FileSystem::Default();
  // The index is opened before the data file: compaction replaces the data file before the
  // index, so an index that is still the one at its name once locked implies a current data
  // file too, and one identity check suffices.
  idx_ = fs.Open(idx_path_, OpenMode::kOpenOrCreate);
  log_ = fs.Open(log_path_, OpenMode::kOpenOrCreate);
  auto remaining = [&] {
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now()));
  };
  // Always the data file first, so that two holders cannot each wait for the other.
  if (!log_->LockExclusive(remaining())) return false;
  if (!idx_->LockExclusive(remaining())) return false;
  if (!idx_->IsAtPath(idx_path_)) {
    retry = true;
    return false;
  }

  unsigned char header[kHeaderSize];
  const size_t got = idx_->Read(header, sizeof header);
  if (got < kHeaderSize) {
    // A missing (just created) or truncated index: finish an interrupted compaction if one left
    // its files behind, else rebuild the index from the data file (an empty log when that holds
    // nothing).
    if (RecoverInterruptedCompaction()) {
      retry = true;
      return false;
    }
    log_length_ = log_->SeekToEnd();
    if (log_length_ == 0) {
      InitializePair();
    } else {
      rebuild_pending_ = true;
    }
    return true;
  }
  version_ = Get32(header);
  entry_size_ = Get32(header + 4);
  const uint32_t stored_count = Get32(header + 8);
  flags_ = Get32(header + 12);
  // The newest entry is read where the count puts it; one byte more tells whether the index
  // ends there (the usual case), which spares asking for its length.
  unsigned char newest[kEntrySize + 1] = {};
  size_t newest_got = 0;
  if (stored_count > 0) {
    idx_->Seek(kHeaderSize + uint64_t{kEntrySize} * (stored_count - 1));
    newest_got = idx_->Read(newest, sizeof newest);
  }
  if (newest_got == kEntrySize) {
    idx_length_ = kHeaderSize + uint64_t{kEntrySize} * stored_count;
  } else {
    idx_length_ = idx_->SeekToEnd();
  }
  const uint64_t present = (idx_length_ - kHeaderSize) / kEntrySize;
  log_length_ = log_->SeekToEnd();
  // An index cut short of its count, or holding more entries than the data file has room for
  // records (a sparse or garbage extension), is rebuilt from the data file; never read whole.
  // Entries past the count (a truncation that failed) are ignored and cut at the next write.
  if (stored_count > present || present > log_length_ / kMinRecordLength) {
    if (log_length_ == 0) {
      InitializePair();  // a data file gone missing: nothing to rebuild from
    } else {
      rebuild_pending_ = true;
    }
    return true;
  }
  event_count_ = stored_count;
  if (event_count_ > 0) {
    const Entry e = DecodeEntry(newest);
    newest_ = IndexEntry{e.offset, e.length};
  }
  // The data file is at its end and the index just past its last counted entry: where an
  // append writes.
  at_ends_ = true;
  return true;
}

void AuditLogFile::InitializePair() {
  log_->SetLength(0);
  log_length_ = 0;
  idx_->SetLength(0);
  version_ = kVersion;
  entry_size_ = kEntrySize;
  event_count_ = 0;
  flags_ = 0;
  WriteHeader();
  idx_length_ = kHeaderSize;
}

// Called under the locks with the index missing or shorter than its header. Compact leaves
// these states (see Compact): the old index set aside (IX0) while the new data file (LO1) is not
// yet in place, which rolls back; or the new data file in place and the new index (IX1) not,
// which rolls forward. Returns true when it renamed an index into place.
bool AuditLogFile::RecoverInterruptedCompaction() {
  FileSystem& fs = FileSystem::Default();
  const std::string lo1 = JoinDataPath(directory_, kCompactionName);
  const std::string ix0 = JoinDataPath(directory_, kOldIndexName);
  const std::string ix1 = JoinDataPath(directory_, kNewIndexName);
  if (Exists(fs, lo1)) {
    if (!Exists(fs, ix0)) return false;
    fs.Rename(ix0, idx_path_);
    RemoveQuietly(fs, ix1);
    RemoveQuietly(fs, lo1);
    return true;
  }
  if (!Exists(fs, ix1)) return false;
  // A new index describes the data file compaction wrote: records back to back from offset 0
  // up to its end. One that does not (left over from an abandoned compaction) is discarded.
  if (!DescribesCompactedData(OpenForReadingQuietly(fs, ix1), log_->SeekToEnd())) {
    RemoveQuietly(fs, ix1);
    return false;
  }
  fs.Rename(ix1, idx_path_);
  RemoveQuietly(fs, ix0);
  return true;
}

void AuditLogFile::WriteHeader() {
  unsigned char header[kHeaderSize];
  EncodeHeader(header, version_, entry_size_, event_count_, flags_);
  at_ends_ = false;
  idx_->Seek(0);
  idx_->Write(header, sizeof header);
}

void AuditLogFile::Heal() {
  if (!rebuild_pending_ || failed_) return;
  rebuild_pending_ = false;
  try {
    RebuildIndex();
  } catch (const FileException&) {
    failed_ = true;
    event_count_ = 0;
  }
}

// The newest whole records up to the capacity become the live events, in file order; whatever
// the data file holds besides them waits for compaction. Work is one pass over the data file,
// memory one entry per record kept.
void AuditLogFile::RebuildIndex() {
  std::deque<IndexEntry> newest;
  ScanRecords(*log_, 0, std::min(log_length_, kMaxOffset), [&](uint64_t offset, size_t length) {
    newest.push_back(IndexEntry{static_cast<uint32_t>(offset), static_cast<uint16_t>(length)});
    if (newest.size() > max_events_) newest.pop_front();
  });
  version_ = kVersion;
  entry_size_ = kEntrySize;
  StoreIndex(std::vector<IndexEntry>(newest.begin(), newest.end()), kFlagCompactionPending);
}

bool AuditLogFile::NewestEndsTheData() {
  if (event_count_ == 0) return log_length_ == 0;
  return newest_.Inside(log_length_) && newest_.end() == log_length_;
}

std::vector<AuditLogFile::IndexEntry> AuditLogFile::ReadEntries() {
  std::vector<unsigned char> raw(size_t{kEntrySize} * event_count_);
  at_ends_ = false;
  idx_->Seek(kHeaderSize);
  raw.resize(idx_->Read(raw.data(), raw.size()) / kEntrySize * kEntrySize);
  std::vector<IndexEntry> entries;
  entries.reserve(raw.size() / kEntrySize);
  for (size_t at = 0; at < raw.size(); at += kEntrySize) {
    const Entry e = DecodeEntry(raw.data() + at);
    entries.push_back(IndexEntry{e.offset, e.length});
  }
  return entries;
}

bool AuditLogFile::Repair(std::vector<IndexEntry>& entries, uint64_t covered) {
  const size_t listed = entries.size();
  // Each run of entries outside the data file is recorded in the hash chain as a repair.
  for (size_t i = 0; i < entries.size();) {
    size_t run = 0;
    while (i + run < entries.size() && !entries[i + run].Inside(log_length_)) ++run;
    if (run == 0) {
      ++i;
      continue;
    }
    chain_->BeforeRemove(static_cast<uint32_t>(entries.size()), static_cast<uint32_t>(i),
                         static_cast<uint32_t>(run), ChainReason::kRepair);  // hash chain step
    entries.erase(entries.begin() + i, entries.begin() + i + run);
  }
  bool changed = entries.size() != listed;
  uint64_t end = covered;
  for (const IndexEntry& e : entries) end = std::max(end, e.end());
  const size_t live = entries.size();
  const uint64_t whole = ScanRecords(
      *log_, end, std::min(log_length_, kMaxOffset), [&](uint64_t offset, size_t length) {
        entries.push_back(IndexEntry{static_cast<uint32_t>(offset), static_cast<uint16_t>(length)});
      });
  if (whole < log_length_) {
    log_->SetLength(whole);
    log_length_ = whole;
    changed = true;
  }
  const size_t limit = std::max<size_t>(max_events_, live);
  if (entries.size() > limit) {
    // Whole records found after the last entry were appended without their entry; the oldest
    // events make room for them, as an append makes room.
    const size_t excess = std::min(entries.size() - limit, live);
    chain_->BeforeRemove(static_cast<uint32_t>(live), 0, static_cast<uint32_t>(excess),
                         ChainReason::kRepair);  // hash chain step
    entries.erase(entries.begin(), entries.end() - limit);
  }
  return changed || entries.size() != live;
}

// Appends, compaction and rebuilds keep the entries in file order, so when the newest one ends
// exactly where the data file does, none lies outside it and no bytes follow it: only a damaged
// pair pays for reading the whole index.
void AuditLogFile::RepairBeforeWrite() {
  if (NewestEndsTheData()) return;
  std::vector<IndexEntry> entries = ReadEntries();
  if (Repair(entries, 0)) StoreIndex(entries, flags_ | kFlagCompactionPending);
}

void AuditLogFile::StoreIndex(const std::vector<IndexEntry>& entries, uint32_t flags) {
  std::vector<unsigned char> block(kHeaderSize + size_t{kEntrySize} * entries.size());
  const uint32_t count = static_cast<uint32_t>(entries.size());
  EncodeHeader(block.data(), version_, entry_size_, count, flags);
  for (size_t i = 0; i < entries.size(); ++i) {
    EncodeEntry(block.data() + kHeaderSize + kEntrySize * i,
                Entry{entries[i].offset, entries[i].length});
  }
  at_ends_ = false;
  idx_->Seek(0);
  idx_->Write(block.data(), block.size());
  event_count_ = count;
  flags_ = flags;
  newest_ = entries.empty() ? IndexEntry{} : entries.back();
  idx_->SetLength(block.size());
  idx_length_ = block.size();
}

bool AuditLogFile::AppendEvent(std::string_view source, std::string_view user,
                               std::string_view description) {
  if (failed_) return false;
  Heal();
  if (failed_) return false;
  RepairBeforeWrite();
  if (event_count_ >= max_events_) {
    if (!overwrite_) return false;
    if (!RemoveEvent(0)) return false;
  }
  // A text ends at its first zero byte, as in a record: one never holds more than five.
  for (std::string_view* text : {&source, &user, &description}) {
    *text = text->substr(0, text->find('\0'));
  }
  const LocalTime now = ToLocalTime(CurrentTime());
  const std::string date = FormatDate(now);
  const std::string time = FormatTime(now);

  // A record must fit the 16-bit length: shorten the description first, then the source, so
  // that the event still says who and when (the user only if it alone is too long).
  size_t source_len = source.size();
  size_t user_len = user.size();
  size_t desc_len = description.size();
  const size_t fixed = date.size() + time.size() + 5;
  auto total = [&] { return fixed + source_len + user_len + desc_len; };
  if (total() > kMaxRecordLength) desc_len -= std::min(desc_len, total() - kMaxRecordLength);
  if (total() > kMaxRecordLength) source_len -= std::min(source_len, total() - kMaxRecordLength);
  if (total() > kMaxRecordLength) user_len -= std::min(user_len, total() - kMaxRecordLength);
  const size_t length = total();

  // The data file's length is known from opening: nobody else writes while the lock is held.
  const uint64_t offset = log_length_;
  // Offsets are 32-bit: a data file that has grown to 4 GiB takes no more records until it is
  // compacted or cleared, rather than storing an offset that points at the wrong bytes.
  if (offset + length > kMaxOffset) return false;

  std::vector<char> record(length);
  char* p = record.data();
  auto put = [&](const char* text, size_t n) {
    if (n > 0) std::memcpy(p, text, n);  // an empty view may have no data at all
    p += n;
    *p++ = '\0';
  };
  put(date.data(), date.size());
  put(time.data(), time.size());
  put(source.data(), source_len);
  put(user.data(), user_len);
  put(description.data(), desc_len);
  unsigned char entry[kEntrySize];
  EncodeEntry(entry, Entry{static_cast<uint32_t>(offset), static_cast<uint16_t>(length)});
  chain_->BeforeAppend(event_count_, entry, record.data(), record.size());  // hash chain step
  if (!at_ends_) log_->Seek(offset);
  log_->Write(record.data(), record.size());
  log_length_ = offset + length;

  newest_ = IndexEntry{static_cast<uint32_t>(offset), static_cast<uint16_t>(length)};
  const uint64_t entry_pos = kHeaderSize + uint64_t{kEntrySize} * event_count_;
  if (!at_ends_ || idx_length_ != entry_pos) idx_->Seek(entry_pos);
  idx_->Write(entry, sizeof entry);
  // Bytes beyond the counted entries (a damaged index) are cut so the length stays 16 + 8n.
  if (idx_length_ > entry_pos + kEntrySize) idx_->SetLength(entry_pos + kEntrySize);
  idx_length_ = entry_pos + kEntrySize;
  ++event_count_;
  WriteHeader();
  return true;
}

bool AuditLogFile::ReadEvent(uint32_t index, std::string& date, std::string& time,
                             std::string& source, std::string& user, std::string& description) {
  Heal();
  std::string fields[5];
  bool result = false;
  if (!failed_ && index < event_count_) {
    at_ends_ = false;
    unsigned char raw[kEntrySize];
    idx_->Seek(kHeaderSize + uint64_t{kEntrySize} * index);
    if (idx_->Read(raw, sizeof raw) == sizeof raw) {
      const Entry entry = DecodeEntry(raw);
      std::vector<char> record(entry.length);
      // A record must lie within the data file and hold five bytes at least, as compaction
      // requires to keep it.
      const bool inside = IndexEntry{entry.offset, entry.length}.Inside(log_length_);
      if (inside) log_->Seek(entry.offset);
      if (inside && log_->Read(record.data(), record.size()) == record.size()) {
        result = true;
        int field = 0;
        for (char c : record) {
          if (c == '\0') {
            if (++field == 5) break;
          } else {
            fields[field].push_back(c);
          }
        }
      }
    }
  }
  date = std::move(fields[0]);
  time = std::move(fields[1]);
  source = std::move(fields[2]);
  user = std::move(fields[3]);
  description = std::move(fields[4]);
  return result;
}

// The header with the new count and the remaining entries go out in one write from the start of
// the index: a failure leaves the old index or the new one, never an entry counted twice. The
// truncation comes after; if it fails, the stale last entry lies past the count, where opening
// does not look and the next append writes. `index` numbers the entries as read, before the
// repair drops any.
bool AuditLogFile::RemoveEvent(uint32_t index) {
  if (failed_) return false;
  Heal();
  if (failed_ || index >= event_count_) return false;
  std::vector<IndexEntry> entries = ReadEntries();
  if (index >= entries.size()) return false;
  chain_->BeforeRemove(event_count_, index, 1, ChainReason::kRemoval);  // hash chain step
  const IndexEntry removed = entries[index];
  entries.erase(entries.begin() + index);
  const bool removed_inside = removed.Inside(log_length_);
  Repair(entries, removed_inside ? removed.end() : 0);
  if (removed_inside && removed.end() == log_length_) {
    // The newest record is cut off first: should the index write then fail, its entry lies
    // outside the data file and is dropped.
    uint64_t end = 0;
    for (const IndexEntry& e : entries) end = std::max(end, e.end());
    log_->SetLength(end);
    log_length_ = end;
  }
  StoreIndex(entries, flags_ | kFlagCompactionPending);
  return true;
}

void AuditLogFile::Clear() {
  if (!failed_) chain_->BeforeClear(event_count_);  // hash chain step
  at_ends_ = false;
  rebuild_pending_ = false;
  event_count_ = 0;
  newest_ = IndexEntry{};
  if (log_) log_->SetLength(0);
  log_length_ = 0;
  if (idx_) {
    idx_->SetLength(0);
    WriteHeader();
    idx_length_ = kHeaderSize;
  }
  if (!failed_) chain_->AfterClear();  // hash chain step
}

// Compaction writes the live records to LO1 and the matching index to IX1, then replaces the
// pair. An index must never be found beside a data file it does not describe, and a crash or a
// failure after any step must leave either the old pair or the new pair (or a state the next
// opening completes). The order:
//   1. LO1 and IX1 written in full and synced. Failure: both removed; old pair untouched.
//   2. IDX renamed to IX0. From here the index name is empty, so no opener can pair an index
//      with the wrong data: an opener finding no index while LO1 exists restores IX0 (LO1 is
//      not yet in place, so IX0 still describes LOG). Failure: nothing changed.
//   3. LO1 renamed over LOG, in one step: the commit. Failure: IX0 renamed back; old pair.
//      After it, LO1 no longer exists and an opener finding no index takes IX1, which describes
//      the new LOG.
//   4. IX1 renamed to IDX: the new pair is complete. Failure: the next opening rolls forward.
//   5. IX0 removed.
// The locks on LOG and IDX are held throughout, and LO1 and IX1 are locked from their creation,
// so once renamed they keep other processes waiting until this object has finished; a process
// that locked a file since replaced sees that and opens again.
void AuditLogFile::Compact() {
  if (failed_) return;
  Heal();
  if (failed_) return;
  RepairBeforeWrite();
  // Compaction runs at log-off: the chain is sealed and compacted then.
  chain_->AtLogoff(event_count_);  // hash chain step
  if ((flags_ & kFlagCompactionPending) == 0) return;
  FileSystem& fs = FileSystem::Default();
  const std::string lo1_path = JoinDataPath(directory_, kCompactionName);
  const std::string ix1_path = JoinDataPath(directory_, kNewIndexName);
  const std::string ix0_path = JoinDataPath(directory_, kOldIndexName);

  std::unique_ptr<File> lo1;
  try {
    lo1 = fs.Open(lo1_path, OpenMode::kCreateTruncate);
  } catch (const FileException&) {
    return;
  }
  at_ends_ = false;
  std::unique_ptr<File> ix1;
  try {
    lo1->LockExclusive(std::chrono::milliseconds(0));
    ix1 = fs.Open(ix1_path, OpenMode::kCreateTruncate);
    ix1->LockExclusive(std::chrono::milliseconds(0));

    // Step 1: copy the live records; an entry whose record cannot be read in full is dropped.
    std::vector<unsigned char> entries(size_t{kEntrySize} * event_count_);
    idx_->Seek(kHeaderSize);
    const size_t got = idx_->Read(entries.data(), entries.size());
    const uint32_t readable = static_cast<uint32_t>(got / kEntrySize);
    std::vector<unsigned char> new_index(kHeaderSize);
    new_index.reserve(kHeaderSize + entries.size());
    std::vector<char> out;
    constexpr size_t kChunk = 1 << 20;
    out.reserve(kChunk + kMaxRecordLength);
    // A data file of moderate size is read in one piece; a larger one record by record.
    constexpr uint64_t kWholeFileLimit = uint64_t{64} << 20;
    std::vector<char> whole;
    const bool in_memory = log_length_ <= kWholeFileLimit;
    if (in_memory) {
      whole.resize(log_length_);
      log_->Seek(0);
      whole.resize(log_->Read(whole.data(), whole.size()));
    }
    std::vector<char> record;
    uint32_t running = 0;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < readable; ++i) {
      Entry entry = DecodeEntry(entries.data() + size_t{kEntrySize} * i);
      // A record of fewer than five bytes holds no event; kept, it could leave more entries than
      // the data file justifies, which opening takes for a damaged index.
      if (entry.length < kMinRecordLength) continue;
      if (in_memory) {
        if (uint64_t{entry.offset} + entry.length > whole.size()) continue;
        out.insert(out.end(), whole.begin() + entry.offset,
                   whole.begin() + entry.offset + entry.length);
      } else {
        if (uint64_t{entry.offset} + entry.length > log_length_) continue;
        record.resize(entry.length);
        log_->Seek(entry.offset);
        if (log_->Read(record.data(), record.size()) != record.size()) continue;
        out.insert(out.end(), record.begin(), record.end());
      }
      if (out.size() >= kChunk) {
        lo1->Write(out.data(), out.size());
        out.clear();
      }
      entry.offset = running;
      running += entry.length;
      const size_t at = new_index.size();
      new_index.resize(at + kEntrySize);
      EncodeEntry(new_index.data() + at, entry);
      ++kept;
    }
    if (!out.empty()) lo1->Write(out.data(), out.size());
    EncodeHeader(new_index.data(), version_, entry_size_, kept, flags_ & ~kFlagCompactionPending);
    ix1->Write(new_index.data(), new_index.size());
    lo1->Sync();
    ix1->Sync();
  } catch (...) {
    CloseQuietly(ix1);
    CloseQuietly(lo1);
    RemoveQuietly(fs, ix1_path);
    RemoveQuietly(fs, lo1_path);
    throw;
  }

  auto abandon_new_files = [&]() noexcept {
    CloseQuietly(ix1);
    CloseQuietly(lo1);
    RemoveQuietly(fs, ix1_path);
    RemoveQuietly(fs, lo1_path);
  };
  // Step 2.
  try {
    fs.Rename(idx_path_, ix0_path);
  } catch (...) {
    abandon_new_files();
    throw;
  }
  // Step 3.
  try {
    fs.Rename(lo1_path, log_path_);
  } catch (...) {
    bool restored = true;
    try {
      fs.Rename(ix0_path, idx_path_);
    } catch (...) {
      restored = false;
    }
    if (restored) {
      abandon_new_files();
    } else {
      // IX0 and LO1 stay behind and opening rolls back; this object's index is no longer at its
      // name, so it opens afresh (failed if that cannot be done either).
      CloseQuietly(ix1);
      CloseQuietly(lo1);
      CloseFiles();
      OpenPair();
    }
    throw;
  }
  // Steps 4 and 5. From here the new data file is in place and this object's files are the old
  // ones: it opens the pair afresh whatever happens (opening rolls forward if step 4 failed).
  auto reopen = [&]() {
    CloseQuietly(ix1);
    CloseQuietly(lo1);
    CloseFiles();
    OpenPair();
  };
  try {
    fs.Rename(ix1_path, idx_path_);
  } catch (...) {
    reopen();
    throw;
  }
  try {
    fs.SyncDirectory(directory_);
  } catch (const FileException&) {
    // The renames have happened; durability of the directory is best effort.
  }
  reopen();
  fs.Remove(ix0_path);
}

}  // namespace talmor
