// The verifier: replays the side file's steps against the pair, checks every live event's link,
// the checkpoints' values and, with the verification key, the seals and their epochs.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "audit/audit_chain.h"
#include "audit/audit_chain_files.h"
#include "platform/data_directory.h"
#include "platform/file_exception.h"

namespace talmor {

namespace {

using namespace chain_files;

std::string ReadAll(File& file) {
  std::string bytes(file.Length(), '\0');
  file.Seek(0);
  bytes.resize(file.Read(bytes.data(), bytes.size()));
  return bytes;
}

}  // namespace

std::string ChainTimeText(uint64_t seconds) {
  const uint64_t days = seconds / 86400;
  const uint64_t rest = seconds % 86400;
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  const int64_t z = static_cast<int64_t>(days) + 719468;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  char text[96];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02llu:%02llu:%02llu UTC",
                static_cast<long long>(y), static_cast<long long>(m), static_cast<long long>(d),
                static_cast<unsigned long long>(rest / 3600),
                static_cast<unsigned long long>(rest / 60 % 60),
                static_cast<unsigned long long>(rest % 60));
  return text;
}

namespace {

std::string TimeText(uint64_t seconds) { return ChainTimeText(seconds); }

const char* ReasonText(ChainReason reason) {
  switch (reason) {
    case ChainReason::kRemoval: return "removed by the library (log full)";
    case ChainReason::kClear: return "cleared (Clear All Events)";
    case ChainReason::kRepair: return "dropped by the repair of a damaged log";
    default: return "removed by the library";
  }
}

// The verification key text: 64 hex digits, the start time, the epoch length.
bool ParseKey(const std::string& text, SealingKey& key) {
  const auto dash1 = text.find('-');
  const auto dash2 = dash1 == std::string::npos ? dash1 : text.find('-', dash1 + 1);
  if (dash1 != 64 || dash2 == std::string::npos) return false;
  for (size_t i = 0; i < 32; ++i) {
    unsigned v = 0;
    for (size_t j = 0; j < 2; ++j) {
      const char c = text[2 * i + j];
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (digit < 0) return false;
      v = v * 16 + static_cast<unsigned>(digit);
    }
    key.key[i] = static_cast<unsigned char>(v);
  }
  try {
    size_t used = 0;
    key.start = std::stoull(text.substr(dash1 + 1, dash2 - dash1 - 1), &used);
    const std::string length = text.substr(dash2 + 1);
    key.epoch_seconds = static_cast<uint32_t>(std::stoul(length, &used));
    return used == length.size() && key.epoch_seconds > 0;
  } catch (const std::exception&) {
    return false;
  }
}

class Verifier {
 public:
  Verifier(std::string idx, std::string log, std::vector<ChainRecord> records, uint32_t events)
      : idx_(std::move(idx)), log_(std::move(log)), records_(std::move(records)), events_(events) {
    // The chain value before each record: the last step's (seals do not move it).
    prev_.resize(records_.size());
    Digest value{};
    for (size_t i = 0; i < records_.size(); ++i) {
      prev_[i] = value;
      if (records_[i].type != 'S') value = records_[i].digest;
    }
  }

  const std::vector<ChainRecord>& records() const { return records_; }
  void DropLast() { records_.pop_back(), prev_.pop_back(); }

  // True when the event at `position` is the one linked by record `k`.
  bool Matches(int64_t k, uint64_t position) const {
    if (k < 0 || position >= events_) return false;
    const unsigned char* entry =
        reinterpret_cast<const unsigned char*>(idx_.data()) + 16 + 8 * position;
    const uint32_t offset = Get32(entry);
    const uint32_t length = static_cast<uint32_t>(entry[4] | entry[5] << 8);
    const ChainRecord& r = records_[k];
    if (length != r.b || uint64_t{offset} + length > log_.size()) return false;
    return Sha256({View(prev_[k]), r.Fields(), std::string_view(log_).substr(offset, length)}) ==
           r.digest;
  }

  // The first event that is not where its link says, classified by its neighbours.
  void CheckEvents(const ChainModel& model, ChainReport& report) const {
    const uint64_t linked = model.live.size();
    for (uint64_t i = 0; i < std::min<uint64_t>(linked, events_); ++i) {
      const int64_t k = model.live[i];
      if (k < 0 || Matches(k, i)) continue;
      const int64_t next = i + 1 < linked ? model.live[i + 1] : -1;
      ChainProblem problem = ChainProblem::kChanged;
      if (Matches(next, i) && Matches(k, i + 1)) {
        problem = ChainProblem::kReordered;
      } else if (Matches(next, i)) {
        problem = ChainProblem::kRemoved;
      } else if (Matches(k, i + 1)) {
        problem = ChainProblem::kInserted;
      }
      Report(report, problem, static_cast<int64_t>(i));
      return;
    }
    if (events_ > linked) Report(report, ChainProblem::kUnlinked, static_cast<int64_t>(linked));
    if (events_ < linked) Report(report, ChainProblem::kRemoved, events_);
  }

  // Checkpoints are recomputed from the value before them.
  void CheckCheckpoints(ChainReport& report) const {
    for (size_t i = 0; i < records_.size(); ++i) {
      const ChainRecord& r = records_[i];
      if (r.type == 'C' && Sha256({View(prev_[i]), r.Fields()}) != r.digest) {
        Report(report, ChainProblem::kSideFile, -1, "a checkpoint in the side file was changed");
        return;
      }
    }
  }

  // Every seal under its epoch's key; the steps since the previous seal belong to that epoch.
  void CheckSeals(const ChainModel& model, const SealingKey& verification, ChainReport& report) {
    std::vector<int64_t> position_of(records_.size(), -1);
    for (size_t p = 0; p < model.live.size(); ++p) {
      if (model.live[p] >= 0) position_of[model.live[p]] = static_cast<int64_t>(p);
    }
    Digest key = verification.key;
    uint64_t epoch = 0;
    size_t since = 0;  // the first step after the previous seal
    for (size_t i = 0; i < records_.size(); ++i) {
      const ChainRecord& s = records_[i];
      if (s.type != 'S') continue;
      int64_t first_covered = -1;
      for (size_t j = since; j < i && first_covered < 0; ++j) first_covered = position_of[j];
      if (s.extra < epoch) {
        Report(report, ChainProblem::kLaterKey, first_covered, "seals out of epoch order");
        return;
      }
      if (s.extra > verification.EpochAt(Now()) + 1) {
        Report(report, ChainProblem::kSeal, first_covered, "a seal from a future epoch");
        return;
      }
      key = SealingKey::Evolve(key, s.extra - epoch);
      epoch = s.extra;
      if (SealOf(key, prev_[i], s) != s.digest) {
        Report(report, ChainProblem::kSeal, first_covered,
               "a seal does not match the events before it");
        return;
      }
      for (size_t j = since; j < i; ++j) {
        const ChainRecord& r = records_[j];
        if ((r.type == 'L' || r.type == 'C') && verification.EpochAt(r.time) != epoch) {
          Report(report, ChainProblem::kLaterKey, position_of[j],
                 "events sealed with another epoch's key than their own");
          return;
        }
      }
      since = i + 1;
    }
    WipeBytes(key.data(), key.size());
  }

  static void Report(ChainReport& report, ChainProblem problem, int64_t position,
                     std::string detail = {}) {
    // The earliest problem wins; one in the side file itself before any.
    if (report.problem != ChainProblem::kNone &&
        (report.problem == ChainProblem::kSideFile ||
         (position < 0 ? false : report.position >= 0 && report.position <= position))) {
      return;
    }
    report.status = ChainReport::Status::kTampered;
    report.problem = problem;
    report.position = position;
    report.detail = std::move(detail);
  }

  // Date, time and user of the event at `position`.
  void Describe(ChainReport& report) const {
    if (report.position < 0 || static_cast<uint64_t>(report.position) >= events_) return;
    const unsigned char* entry =
        reinterpret_cast<const unsigned char*>(idx_.data()) + 16 + 8 * report.position;
    const uint32_t offset = Get32(entry);
    const uint32_t length = static_cast<uint32_t>(entry[4] | entry[5] << 8);
    if (uint64_t{offset} + length > log_.size()) return;
    std::string fields[5];
    int field = 0;
    for (char c : std::string_view(log_).substr(offset, length)) {
      if (c == '\0') {
        if (++field == 5) break;
      } else {
        fields[field].push_back(c);
      }
    }
    report.date = fields[0];
    report.time = fields[1];
    report.user = fields[3];
  }

 private:
  std::string idx_;
  std::string log_;
  std::vector<ChainRecord> records_;
  uint32_t events_;
  std::vector<Digest> prev_;
};

const char* ProblemText(ChainProblem problem) {
  switch (problem) {
    case ChainProblem::kChanged: return "changed";
    case ChainProblem::kInserted: return "inserted";
    case ChainProblem::kRemoved: return "removed";
    case ChainProblem::kReordered: return "reordered";
    case ChainProblem::kUnlinked: return "not in the side file";
    case ChainProblem::kSideFile: return "side file changed";
    case ChainProblem::kSeal: return "seal does not match";
    case ChainProblem::kLaterKey: return "sealed with another epoch's key";
    default: return "";
  }
}

}  // namespace

ChainReport VerifyAuditChain(const std::string& directory,
                             const std::optional<std::string>& verification_key) {
  ChainReport report;
  std::string idx, log, sig;
  try {
    PairLock lock(directory, false);
    if (lock.idx) {
      report.events = lock.EventCount();
      idx = ReadAll(*lock.idx);
      log = ReadAll(*lock.log);
    }
    const std::string sig_path = JoinDataPath(directory, kSigName);
    if (!FileSystem::Default().GetStatus(sig_path)) {
      report.side_file = false;
      // With sealing set up there is always a side file: seal-init starts one.
      if (verification_key || FileSystem::Default().GetStatus(JoinDataPath(directory, kKeyName))) {
        Verifier::Report(report, ChainProblem::kSideFile, -1,
                         "the side file is missing though the log is sealed");
        return report;
      }
      report.warnings.push_back("no side file: the log is not chained (written before the chain "
                                "or by another writer); the next event starts a chain");
      return report;
    }
    sig = ReadAll(*FileSystem::Default().Open(sig_path, OpenMode::kRead));
  } catch (const FileException&) {
    report.status = ChainReport::Status::kUnreadable;
    report.detail = "the audit log cannot be read";
    return report;
  }
  if (sig.size() < kHeaderSize + ChainRecord::kSize || sig.compare(0, kHeaderSize, Header()) != 0) {
    Verifier::Report(report, ChainProblem::kSideFile, -1, "the side file is not a chain");
    return report;
  }
  if ((sig.size() - kHeaderSize) % ChainRecord::kSize != 0) {
    report.warnings.push_back("the side file ends in an incomplete record (an interrupted write)");
  }
  std::vector<ChainRecord> records((sig.size() - kHeaderSize) / ChainRecord::kSize);
  for (size_t i = 0; i < records.size(); ++i) {
    records[i] = ChainRecord::Decode(
        reinterpret_cast<const unsigned char*>(sig.data()) + kHeaderSize + i * ChainRecord::kSize);
  }
  Verifier verifier(std::move(idx), std::move(log), std::move(records), report.events);
  // A last step the pair never reached: a write the library did not finish (a link whose event
  // is in place is not one: an earlier event went instead).
  const ChainRecord& last = verifier.records().back();
  const size_t last_index = verifier.records().size() - 1;
  if ((last.type == 'L' || last.type == 'C') && last.live != report.events &&
      LiveBefore(last) == report.events &&
      !(last.type == 'L' && report.events > 0 && verifier.Matches(last_index, report.events - 1))) {
    report.warnings.push_back("the last write to the log was interrupted; it never took effect");
    verifier.DropLast();
  }
  const std::vector<ChainRecord>& kept = verifier.records();
  const ChainModel model = ReplayChain(kept);
  if (!model.consistent) {
    Verifier::Report(report, ChainProblem::kSideFile, -1,
                     "side file record " + std::to_string(model.bad_record) + " does not follow");
    return report;
  }
  for (const ChainRecord& r : kept) {
    if (r.type == 'A' && r.reason == ChainReason::kClear) {
      report.removals.push_back(std::to_string(r.b) + " event(s) cleared (Clear All Events) at " +
                                TimeText(r.time));
    } else if (r.type == 'A' && r.removed > 0) {
      report.removals.push_back(std::to_string(r.removed) +
                                " event(s) removed by the library before " + TimeText(r.time));
    } else if (r.type == 'C') {
      report.removals.push_back(std::to_string(r.b) + " event(s) at position " +
                                std::to_string(r.a) + " " + ReasonText(r.reason) + " at " +
                                TimeText(r.time));
    }
  }
  size_t last_seal = 0;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (kept[i].type != 'S') continue;
    ++report.seals;
    report.last_seal_time = kept[i].time;
    last_seal = i;
  }
  for (int64_t k : model.live) {
    if (k < 0) ++report.unlinked;
    if (report.seals > 0 && k > static_cast<int64_t>(last_seal)) ++report.after_last_seal;
  }
  if (report.seals == 0) report.after_last_seal = static_cast<uint32_t>(model.live.size());

  verifier.CheckCheckpoints(report);
  verifier.CheckEvents(model, report);
  if (verification_key) {
    SealingKey key;
    if (!ParseKey(*verification_key, key)) {
      report.status = ChainReport::Status::kUnreadable;
      report.detail = "the verification key is not in the expected form";
      return report;
    }
    report.seals_checked = true;
    // seal-init starts the chain in the key's first epoch; a chain started later lost its past.
    const ChainRecord& anchor = kept.front();
    if (anchor.reason == ChainReason::kStart && key.EpochAt(anchor.time) > 0) {
      Verifier::Report(report, ChainProblem::kSideFile, -1,
                       "the chain was started anew after sealing began");
    }
    verifier.CheckSeals(model, key, report);
    WipeBytes(key.key.data(), key.key.size());
  } else if (report.seals > 0) {
    report.warnings.push_back("the log is sealed: give the verification key to check the seals");
  }
  verifier.Describe(report);
  if (report.detail.empty()) report.detail = ProblemText(report.problem);
  return report;
}

}  // namespace talmor
