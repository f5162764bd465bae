// The audit log pair from one input (index, then data, separated by kFileSeparator; a first
// byte chooses the entry removed). Opens the pair, reads every event, appends one, removes one
// and compacts. Afterwards a fresh opening must find exactly the events that could be read in
// full before the compaction, in the same order, each readable.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
