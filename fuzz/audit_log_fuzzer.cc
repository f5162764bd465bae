// The audit log pair from one input (index, then data, separated by kFileSeparator; a first
// byte chooses the entry removed). Opens the pair, reads every event, appends one, removes one
// and compacts. Afterwards a fresh opening must find exactly the events that could be read in
// full before the compaction, in the same order, each readable.
//
// Then a sound pair of a few events (texts taken from the input) is damaged as crashes and disks
// damage files, the last input bytes choosing how: each file cut, extended with zeros or lost,
// the index's count changed or its last entries lost. After one append, the events read back
// must be exactly the original events whose records still lie wholly inside the data file, in
// order, followed by the appended one: none lost, none forged.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audit/audit_log_file.h"
#include "fuzz_support.h"
#include "platform/data_directory.h"
#include "platform/file_exception.h"

using namespace talmor;

namespace {

struct Event {
  std::string date, time, source, user, description;
  bool operator==(const Event&) const = default;
};

// Every event of an open pair; unreadable ones are absent when `readable_only`.
std::vector<Event> ReadAll(AuditLogFile& log, bool readable_only, size_t* unreadable) {
  std::vector<Event> events;
  for (uint32_t i = 0; i < log.EventCount(); ++i) {
    Event e;
    if (log.ReadEvent(i, e.date, e.time, e.source, e.user, e.description)) {
      events.push_back(e);
    } else {
      if (!(e == Event{})) fuzz::Fail("a failed read gave texts");
      if (unreadable != nullptr) ++*unreadable;
      if (!readable_only) events.push_back(e);
    }
  }
  return events;
}

void DamagedPairHealsOnAppend(const uint8_t* data, size_t size) {
  fuzz::FreshDataDirectory();
  uint8_t t[6] = {};
  for (size_t i = 0; i < 6 && i < size; ++i) t[i] = data[size - 1 - i];
  const std::string idx = DataFilePath("\\QUORVANE.IDX"), log = DataFilePath("\\QUORVANE.LOG");
  std::vector<Event> originals;
  {
    AuditLogFile file;
    for (size_t i = 0; i < 1u + t[0] % 6; ++i) {
      const size_t at = std::min(size, i * 40);
      const std::string text(reinterpret_cast<const char*>(data) + at,
                             std::min<size_t>(40, size - at));
      if (!file.AppendEvent("source " + std::to_string(i), "user", text))
        fuzz::Fail("append refused");
    }
    originals = ReadAll(file, false, nullptr);
  }
  namespace fs = std::filesystem;
  const uint32_t count = static_cast<uint32_t>(originals.size());
  const uint32_t k = t[2] | t[3] << 8;
  switch (t[1] % 6) {
    case 1:
      fs::resize_file(idx, k % (fs::file_size(idx) + 1));
      break;
    case 2:
      fs::remove(idx);
      break;
    case 3:
      fs::resize_file(idx, fs::file_size(idx) + (uint64_t{k} << 12));
      break;
    case 4:
    case 5: {
      const uint32_t kept = t[1] % 6 == 4 ? k : count - 1 - t[2] % count;
      std::fstream(idx, std::ios::in | std::ios::out | std::ios::binary)
          .seekp(8)
          .write(reinterpret_cast<const char*>(&kept), 4);  // little-endian hosts
      if (t[1] % 6 == 5) fs::resize_file(idx, AuditLogFile::kHeaderSize + 8 * kept);
      break;
    }
  }
  switch (t[4] % 4) {
    case 1:
      fs::resize_file(log, (t[5] << 8 | t[3]) % (fs::file_size(log) + 1));
      break;
    case 2:
      fs::remove(log);
      break;
    case 3:
      fs::resize_file(log, fs::file_size(log) + t[5] * 16 + 1);
      break;
  }
  const uint64_t left = fs::exists(log) ? fs::file_size(log) : 0;
  std::vector<Event> expected;
  uint64_t end = 0;
  for (const Event& e : originals) {
    end +=
        e.date.size() + e.time.size() + e.source.size() + e.user.size() + e.description.size() + 5;
    if (end <= left) expected.push_back(e);
  }
  {
    AuditLogFile file;
    if (!file.AppendEvent("Fuzz", "operator", "after damage")) fuzz::Fail("append refused");
  }
  AuditLogFile file;
  size_t unreadable = 0;
  std::vector<Event> after = ReadAll(file, false, &unreadable);
  if (unreadable != 0) fuzz::Fail("an event of the healed pair cannot be read");
  if (after.empty() || after.back().description != "after damage") fuzz::Fail("append lost");
  after.pop_back();
  if (after != expected) fuzz::Fail("the healed pair lost or forged an event");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DamagedPairHealsOnAppend(data, size);
  fuzz::FreshDataDirectory();
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const auto parts = fuzz::SplitInput(input, 2);
  fuzz::WriteFile(DataFilePath("\\QUORVANE.IDX"), parts[0]);
  if (parts.size() > 1) fuzz::WriteFile(DataFilePath("\\QUORVANE.LOG"), parts[1]);

  std::vector<Event> before;
  {
    AuditLogFile log;
    if (log.failed()) fuzz::Fail("the pair could not be opened");
    log.SetMaxEvents(64 + (choice & 0x3F));
    ReadAll(log, false, nullptr);
    if (!log.AppendEvent("Fuzz", "operator", "appended \x01 event")) {
      // Only a full log without overwrite refuses, and overwrite is on.
      fuzz::Fail("an append was refused");
    }
    const uint32_t count = log.EventCount();
    if (count == 0) fuzz::Fail("no event after an append");
    if (!log.RemoveEvent(choice % count)) fuzz::Fail("a live event could not be removed");
    before = ReadAll(log, true, nullptr);
    if ((log.flags() & AuditLogFile::kFlagCompactionPending) == 0) {
      fuzz::Fail("a removal did not mark compaction pending");
    }
    log.Compact();
    if ((log.flags() & AuditLogFile::kFlagCompactionPending) != 0) {
      fuzz::Fail("compaction left the flag set");
    }
  }
  AuditLogFile log;
  if (log.failed()) fuzz::Fail("the compacted pair could not be opened");
  size_t unreadable = 0;
  const std::vector<Event> after = ReadAll(log, false, &unreadable);
  if (unreadable != 0) fuzz::Fail("an event of the compacted pair cannot be read");
  if (after != before) {
    std::fprintf(stderr, "before %zu events, after %zu\n", before.size(), after.size());
    for (size_t i = 0; i < std::max(before.size(), after.size()); ++i) {
      auto show = [](const std::vector<Event>& v, size_t i) {
        return i < v.size() ? v[i].source + "/" + v[i].user + "/" + v[i].description : "-";
      };
      std::fprintf(stderr, "  [%zu] %s | %s\n", i, show(before, i).c_str(), show(after, i).c_str());
    }
  }
  if (after != before) fuzz::Fail("compaction changed the readable events");
  // The compacted pair takes more events.
  if (!log.AppendEvent("Fuzz", "operator", "after compaction")) fuzz::Fail("append refused");
  return 0;
}
